// The simulated terminal's flash memory for one loader session: which ranges were erased,
// which bytes were programmed and with what. Sparse, so an image of tens of MiB costs
// about its own size and an erased range costs nothing until it is written.
// Not thread-safe: one owner at a time (the terminal thread, or a reader under the
// terminal's snapshot lock).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace termsim {

// One erased range with its contents as they stood at the end of a session.
struct FlashRange {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

// The application chip's side (ASIC) is addressed by area: an ERASE that starts at one of its
// area numbers, 0xF000000 to 0xF000FFF (0xF000100, 0xF000200, ... are areas, not bytes 0x100
// apart), opens an area of its own, and a WRITE goes to the most recently erased area that
// holds its address. Everything else is one linear flash.
class FlashModel {
  public:
    static constexpr uint32_t kAsicAreaFirst = 0xF000000;
    static constexpr uint32_t kAsicAreaEnd = 0xF001000;

    // No flash part that this loader serves is larger; a longer ERASE is malformed.
    static constexpr uint32_t kMaxEraseLength = 256u << 20;

    enum class EraseStatus { kOk, kWraps, kTooLong };

    struct WriteStatus {
        uint32_t outside = 0;  // bytes in no erased range (not stored)
        uint32_t firstOutside = 0;
        uint32_t conflicts = 0;  // bytes already programmed with another value (kept as they were)
        uint32_t firstConflict = 0;
    };

    FlashModel();
    ~FlashModel();
    FlashModel(const FlashModel&) = delete;
    FlashModel& operator=(const FlashModel&) = delete;

    // Forgets every range and byte (a fresh session); keeps page memory for reuse.
    void Clear();

    // Erases [address, address + length): its bytes read 0xFF and may be programmed again.
    // A range past the end of the 32-bit address space or longer than kMaxEraseLength is
    // refused and changes nothing. A length of 0 is a valid, empty range.
    EraseStatus Erase(uint32_t address, uint32_t length);

    // Programs data[0..n) at address. Bytes outside every erased range, or already
    // programmed with a different value, are not stored and are reported in the result;
    // programming a byte again with the same value is fine (a resent WRITE).
    WriteStatus Write(uint32_t address, const uint8_t* data, uint32_t n);

    struct Range {
        uint32_t address;
        uint32_t length;
    };
    // Erased ranges in the order first erased, one per start address (the longest).
    const std::vector<Range>& Ranges() const { return m_ranges; }

    // Copies n bytes from `offset` into the erased range `range` (one of Ranges()) into out,
    // 0xFF where nothing was programmed. The way to read a range's contents: an ASIC area's
    // bytes may lie under the address of a newer area.
    void ReadRange(const Range& range, uint32_t offset, uint32_t n, uint8_t* out) const;

    // Copies [address, address + n) into out, 0xFF where nothing was programmed (in the
    // newest ASIC area that holds address, for an ASIC address).
    void Read(uint32_t address, uint32_t n, uint8_t* out) const;

    // Every erased range with its contents.
    std::vector<FlashRange> Snapshot() const;

    // Swaps the whole contents with other (cheap: no bytes are copied).
    void Swap(FlashModel& other);

  private:
    struct Page;
    static constexpr uint32_t kPageShift = 16;
    static constexpr uint32_t kPageSize = 1u << kPageShift;

    // The most recently erased ASIC area holding address, or nullptr.
    const Range* AsicArea(uint32_t address) const;
    Page* FindPage(uint32_t index) const;
    Page* TakePage(uint32_t index);
    bool Covered(uint64_t at, uint64_t* coveredEnd, uint64_t* nextStart) const;

    std::vector<Range> m_ranges;
    std::map<uint64_t, uint64_t> m_covered;  // merged erased intervals: start -> end
    std::map<uint32_t, std::unique_ptr<FlashModel>> m_asicAreas;  // by start address
    std::vector<Range> m_asicOrder;  // ASIC areas, most recently erased last
    std::unordered_map<uint32_t, std::unique_ptr<Page>> m_pages;
    std::vector<std::unique_ptr<Page>> m_spare;
};

}  // namespace termsim
