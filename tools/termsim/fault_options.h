// Fault options of the terminal simulator: parsing "--fault" texts and resolving them into
// the faults that one terminal injects. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace termsim {

enum class FaultKind : int {
    kNoUnlock,      // never answer UNLOCK
    kNakWrite,      // refuse the K-th WRITE of a session once
    kBadFcs,        // damage the FCS of the K-th answer of a session
    kStall,         // answer nothing after K packets of a session
    kUnplug,        // vanish after K bytes received
    kSlowErase,     // take MS ms over each ERASE
    kBitErrors,     // flip one bit of a byte, with a probability per byte, both directions
    kDrop,          // lose an answer
    kDup,           // send an answer twice
    kDelay,         // hold an answer back MS ms
    kNak,           // refuse a good packet
    kStallRandom,   // stall after a random count of packets
    kUnplugRandom,  // vanish after a random count of bytes
};
constexpr int kFaultKindCount = 13;

// The option's name of a kind ("bit-errors", "nak-write", ...).
const char* FaultKindName(FaultKind kind);

struct FaultSpec {
    int terminal = -1;  // index from 0; -1 for every terminal
    FaultKind kind = FaultKind::kNoUnlock;
    uint64_t count = 0;  // K, MS, MAXPACKETS or MAXBYTES, as the kind takes
    double rate = 0;     // probability for the random kinds, 0 to 1
    int reason = 1;      // NAK reason for nak-write and nak
    int delayMs = 0;     // MS of delay
};

// Parses "<index|all>:<kind>[:args]". Returns false with a message naming the fault text
// and what is wrong in *error.
bool ParseFaultSpec(const std::string& text, FaultSpec* spec, std::string* error);

// Parses every text and appends the specs to *specs; stops at the first bad one with the
// message of ParseFaultSpec in *error.
bool ParseFaultSpecs(const std::vector<std::string>& texts, std::vector<FaultSpec>* specs,
                     std::string* error);

// The faults one terminal injects. Zero values mean "off".
struct TerminalFaults {
    bool noUnlock = false;
    uint64_t nakWrite = 0;  // K, 1-based; 0 = off
    int nakWriteReason = 1;
    uint64_t badFcs = 0;  // K, 1-based; 0 = off
    bool stall = false;
    uint64_t stallAfter = 0;
    bool unplug = false;
    uint64_t unplugAfter = 0;
    uint64_t slowEraseMs = 0;
    double bitErrorRate = 0;
    double dropRate = 0;
    double dupRate = 0;
    double delayRate = 0;
    int delayMs = 0;
    double nakRate = 0;
    int nakReason = 1;
    uint64_t stallRandomMax = 0;   // 0 = off
    uint64_t unplugRandomMax = 0;  // 0 = off
};

// Applies, in order, every spec that names terminal `index` or all terminals; a later spec
// of the same kind replaces an earlier one.
TerminalFaults FaultsForTerminal(const std::vector<FaultSpec>& specs, int index);

}  // namespace termsim
