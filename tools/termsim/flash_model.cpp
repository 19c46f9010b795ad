#include "tools/termsim/flash_model.h"

#include <algorithm>
#include <cstring>

namespace termsim {

struct FlashModel::Page {
    uint8_t data[kPageSize];
    uint64_t programmed[kPageSize / 64];

    void Blank() {
        std::memset(data, 0xFF, sizeof data);
        std::memset(programmed, 0, sizeof programmed);
    }
    bool IsProgrammed(uint32_t offset) const {
        return (programmed[offset >> 6] >> (offset & 63)) & 1;
    }
    void MarkProgrammed(uint32_t offset) {
        programmed[offset >> 6] |= uint64_t{1} << (offset & 63);
    }
    void Unprogram(uint32_t offset) {
        data[offset] = 0xFF;
        programmed[offset >> 6] &= ~(uint64_t{1} << (offset & 63));
    }
};

FlashModel::FlashModel() = default;
FlashModel::~FlashModel() = default;

void FlashModel::Clear() {
    m_ranges.clear();
    m_covered.clear();
    m_asicAreas.clear();
    m_asicOrder.clear();
    for (auto& entry : m_pages) m_spare.push_back(std::move(entry.second));
    m_pages.clear();
}

void FlashModel::Swap(FlashModel& other) {
    m_ranges.swap(other.m_ranges);
    m_covered.swap(other.m_covered);
    m_pages.swap(other.m_pages);
    m_spare.swap(other.m_spare);
    m_asicAreas.swap(other.m_asicAreas);
    m_asicOrder.swap(other.m_asicOrder);
}

FlashModel::Page* FlashModel::FindPage(uint32_t index) const {
    auto it = m_pages.find(index);
    return it == m_pages.end() ? nullptr : it->second.get();
}

FlashModel::Page* FlashModel::TakePage(uint32_t index) {
    if (Page* page = FindPage(index)) return page;
    std::unique_ptr<Page> page;
    if (m_spare.empty()) {
        page = std::make_unique<Page>();
    } else {
        page = std::move(m_spare.back());
        m_spare.pop_back();
    }
    page->Blank();
    Page* raw = page.get();
    m_pages.emplace(index, std::move(page));
    return raw;
}

FlashModel::EraseStatus FlashModel::Erase(uint32_t address, uint32_t length) {
    const uint64_t start = address;
    const uint64_t end = start + length;
    if (end > (uint64_t{1} << 32)) return EraseStatus::kWraps;
    if (length > kMaxEraseLength) return EraseStatus::kTooLong;

    auto same = std::find_if(m_ranges.begin(), m_ranges.end(),
                             [address](const Range& r) { return r.address == address; });
    uint32_t rangeLength = length;
    if (same == m_ranges.end()) {
        m_ranges.push_back({address, length});
    } else {
        same->length = rangeLength = std::max(same->length, length);
    }
    if (address >= kAsicAreaFirst && address < kAsicAreaEnd) {
        std::unique_ptr<FlashModel>& area = m_asicAreas[address];
        if (!area) area = std::make_unique<FlashModel>();
        area->Erase(0, length);
        m_asicOrder.erase(
            std::remove_if(m_asicOrder.begin(), m_asicOrder.end(),
                           [address](const Range& r) { return r.address == address; }),
            m_asicOrder.end());
        m_asicOrder.push_back({address, rangeLength});
        return EraseStatus::kOk;
    }
    if (length == 0) return EraseStatus::kOk;

    // Bytes programmed earlier in this session read 0xFF again.
    for (uint64_t at = start; at < end;) {
        const uint32_t index = static_cast<uint32_t>(at >> kPageShift);
        const uint64_t pageEnd = std::min<uint64_t>(end, (uint64_t{index} + 1) << kPageShift);
        if (Page* page = FindPage(index)) {
            for (uint64_t a = at; a < pageEnd; ++a)
                page->Unprogram(static_cast<uint32_t>(a) & (kPageSize - 1));
        }
        at = pageEnd;
    }

    // Merge into the covered intervals.
    uint64_t newStart = start;
    uint64_t newEnd = end;
    auto it = m_covered.upper_bound(start);
    if (it != m_covered.begin() && std::prev(it)->second >= start) --it;
    while (it != m_covered.end() && it->first <= newEnd) {
        newStart = std::min(newStart, it->first);
        newEnd = std::max(newEnd, it->second);
        it = m_covered.erase(it);
    }
    m_covered.emplace(newStart, newEnd);
    return EraseStatus::kOk;
}

// Whether `at` lies in an erased interval; *coveredEnd is where that interval ends, or else
// *nextStart is where the next one begins (UINT64_MAX when there is none).
bool FlashModel::Covered(uint64_t at, uint64_t* coveredEnd, uint64_t* nextStart) const {
    auto it = m_covered.upper_bound(at);
    if (it != m_covered.begin() && std::prev(it)->second > at) {
        *coveredEnd = std::prev(it)->second;
        return true;
    }
    *nextStart = it == m_covered.end() ? UINT64_MAX : it->first;
    return false;
}

FlashModel::WriteStatus FlashModel::Write(uint32_t address, const uint8_t* data, uint32_t n) {
    if (const Range* r = AsicArea(address)) {
        WriteStatus status = m_asicAreas.at(r->address)->Write(address - r->address, data, n);
        if (status.outside != 0) status.firstOutside += r->address;
        if (status.conflicts != 0) status.firstConflict += r->address;
        return status;
    }
    WriteStatus status;
    const uint64_t end = uint64_t{address} + n;
    uint64_t at = address;
    while (at < end) {
        uint64_t coveredEnd = 0;
        uint64_t nextStart = 0;
        if (!Covered(at, &coveredEnd, &nextStart)) {
            const uint64_t skipTo = std::min(end, nextStart);
            if (status.outside == 0) status.firstOutside = static_cast<uint32_t>(at);
            status.outside += static_cast<uint32_t>(skipTo - at);
            at = skipTo;
            continue;
        }
        const uint64_t stop = std::min(end, coveredEnd);
        while (at < stop) {
            const uint32_t index = static_cast<uint32_t>(at >> kPageShift);
            const uint64_t pageEnd = std::min<uint64_t>(stop, (uint64_t{index} + 1) << kPageShift);
            Page* page = TakePage(index);
            for (; at < pageEnd; ++at) {
                const uint32_t offset = static_cast<uint32_t>(at) & (kPageSize - 1);
                const uint8_t value = data[at - address];
                if (page->IsProgrammed(offset)) {
                    if (page->data[offset] != value) {
                        if (status.conflicts == 0) status.firstConflict = static_cast<uint32_t>(at);
                        ++status.conflicts;
                    }
                    continue;
                }
                page->data[offset] = value;
                page->MarkProgrammed(offset);
            }
        }
    }
    return status;
}

const FlashModel::Range* FlashModel::AsicArea(uint32_t address) const {
    for (auto r = m_asicOrder.rbegin(); r != m_asicOrder.rend(); ++r) {
        if (address >= r->address && uint64_t{address} < uint64_t{r->address} + r->length)
            return &*r;
    }
    return nullptr;
}

void FlashModel::Read(uint32_t address, uint32_t n, uint8_t* out) const {
    if (const Range* r = AsicArea(address)) {
        m_asicAreas.at(r->address)->Read(address - r->address, n, out);
        return;
    }
    const uint64_t end = uint64_t{address} + n;
    for (uint64_t at = address; at < end;) {
        const uint32_t index = static_cast<uint32_t>(at >> kPageShift);
        const uint64_t pageEnd = std::min<uint64_t>(end, (uint64_t{index} + 1) << kPageShift);
        const size_t count = static_cast<size_t>(pageEnd - at);
        uint8_t* dst = out + (at - address);
        if (const Page* page = FindPage(index)) {
            std::memcpy(dst, page->data + (static_cast<uint32_t>(at) & (kPageSize - 1)), count);
        } else {
            std::memset(dst, 0xFF, count);
        }
        at = pageEnd;
    }
}

void FlashModel::ReadRange(const Range& range, uint32_t offset, uint32_t n, uint8_t* out) const {
    auto area = m_asicAreas.find(range.address);
    if (area != m_asicAreas.end()) {
        area->second->Read(offset, n, out);
    } else {
        Read(static_cast<uint32_t>(range.address + offset), n, out);
    }
}

std::vector<FlashRange> FlashModel::Snapshot() const {
    std::vector<FlashRange> ranges;
    ranges.reserve(m_ranges.size());
    for (const Range& r : m_ranges) {
        FlashRange out;
        out.address = r.address;
        out.bytes.resize(r.length);
        ReadRange(r, 0, r.length, out.bytes.data());
        ranges.push_back(std::move(out));
    }
    return ranges;
}

}  // namespace termsim
