// The flash loader of one simulated terminal: takes each received frame body, answers it
// with exactly one answer frame (or, under a fault, none), carries out the commands on the
// session's flash model and records packets and protocol errors. No I/O: answers and the
// end of a session go to a LoaderOutput.
// Not thread-safe: owned and used by the terminal's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/termsim/fault_plan.h"
#include "tools/termsim/flash_model.h"
#include "tools/termsim/frame_codec.h"
#include "tools/termsim/terminal_stats.h"

namespace termsim {

namespace code {
constexpr uint8_t kAck = 0x02;
constexpr uint8_t kNak = 0x03;
constexpr uint8_t kErase = 0xEE;
constexpr uint8_t kWrite = 0xDD;
constexpr uint8_t kUnlock = 0xA0;
constexpr uint8_t kClose = 0xC0;
constexpr uint8_t kGo = 0x90;
}  // namespace code

// NAK reason that asks the sender to send the packet again.
constexpr uint8_t kReasonResend = 1;

// Body of every answer: seq, ACK/NAK, the code answered, reason, FCS low, FCS high.
constexpr size_t kAnswerBody = 6;

// Largest WRITE data block.
constexpr uint32_t kMaxWriteData = 16384;

// One packet of a session, as packets.log lists it.
struct PacketRecord {
    uint8_t seq = 0;
    uint8_t code = 0;
    bool fcsOk = false;
    bool hasRange = false;  // address and length were in the packet
    uint32_t address = 0;
    uint32_t length = 0;
};

// What one session leaves behind: its packets, and the protocol errors since the previous
// session ended (so errors outside any session are reported with the next one, not lost).
struct SessionLog {
    std::vector<PacketRecord> packets;
    std::vector<std::string> errors;
    uint64_t errorsNotKept = 0;  // beyond kMaxErrorLines, only counted
};

constexpr size_t kMaxErrorLines = 1000;

class LoaderOutput {
  public:
    // Sends one answer body (kAnswerBody bytes, FCS included), after holdMs milliseconds
    // during which the loader takes no more input (it is busy, as during an erase).
    virtual void SendAnswer(const uint8_t* body, size_t n, uint64_t holdMs) = 0;
    // A session ended with GO; flash and log are the session's final state. The callee may
    // swap the flash contents away.
    virtual void OnSessionComplete(FlashModel& flash, const SessionLog& log) = 0;

  protected:
    ~LoaderOutput() = default;
};

class Loader : public FrameSink {
  public:
    Loader(FaultPlan& faults, TerminalStats& stats, LoaderOutput& output);

    // Handles one received body (sequence byte to last FCS byte).
    void OnFrame(const uint8_t* body, size_t n) override;

    bool InSession() const { return m_inSession; }
    // The flash of the session in progress (meaningful while InSession()).
    const FlashModel& SessionFlash() const { return m_flash; }

  private:
    struct Packet {
        uint8_t seq;
        bool hasCode;
        uint8_t code;
        const uint8_t* payload;
        size_t payloadLength;
    };

    void StartSession();
    void Execute(const Packet& p, uint64_t* holdMs);
    void DoErase(const Packet& p);
    void DoWrite(const Packet& p);
    bool CheckOpen(const char* what);
    void Answer(const Packet& p, uint8_t answerCode, uint8_t reason, uint64_t holdMs);
    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));

    FaultPlan& m_faults;
    TerminalStats& m_stats;
    LoaderOutput& m_output;

    bool m_inSession = false;
    bool m_closed = false;
    uint8_t m_seq = 0;  // of the packet being handled, for error lines
    uint64_t m_sessionPackets = 0;
    uint64_t m_sessionWrites = 0;
    uint64_t m_sessionAnswers = 0;
    uint64_t m_stallLimit;
    FlashModel m_flash;
    SessionLog m_log;
};

}  // namespace termsim
