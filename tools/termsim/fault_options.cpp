#include "tools/termsim/fault_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace termsim {
namespace {

struct KindInfo {
    FaultKind kind;
    const char* name;
    const char* usage;
};

constexpr KindInfo kKinds[kFaultKindCount] = {
    {FaultKind::kNoUnlock, "no-unlock", "no-unlock"},
    {FaultKind::kNakWrite, "nak-write", "nak-write:K[:REASON]"},
    {FaultKind::kBadFcs, "bad-fcs", "bad-fcs:K"},
    {FaultKind::kStall, "stall", "stall:K"},
    {FaultKind::kUnplug, "unplug", "unplug:K"},
    {FaultKind::kSlowErase, "slow-erase", "slow-erase:MS"},
    {FaultKind::kBitErrors, "bit-errors", "bit-errors:RATE"},
    {FaultKind::kDrop, "drop", "drop:RATE"},
    {FaultKind::kDup, "dup", "dup:RATE"},
    {FaultKind::kDelay, "delay", "delay:RATE:MS"},
    {FaultKind::kNak, "nak", "nak:RATE[:REASON]"},
    {FaultKind::kStallRandom, "stall-random", "stall-random:MAXPACKETS"},
    {FaultKind::kUnplugRandom, "unplug-random", "unplug-random:MAXBYTES"},
};

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        size_t colon = text.find(':', from);
        parts.push_back(text.substr(from, colon - from));
        if (colon == std::string::npos) return parts;
        from = colon + 1;
    }
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *value = v;
    return true;
}

bool ParseRate(const std::string& text, double* rate) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < 0 || v > 1) return false;
    *rate = v;
    return true;
}

}  // namespace

const char* FaultKindName(FaultKind kind) { return kKinds[static_cast<int>(kind)].name; }

bool ParseFaultSpec(const std::string& text, FaultSpec* spec, std::string* error) {
    auto fail = [&](const std::string& why) {
        *error = "bad fault '" + text + "': " + why;
        return false;
    };
    std::vector<std::string> parts = Split(text);
    if (parts.size() < 2) return fail("expected <terminal index or all>:<kind>[:args]");

    FaultSpec out;
    uint64_t index = 0;
    if (parts[0] == "all") {
        out.terminal = -1;
    } else if (ParseUnsigned(parts[0], 1u << 20, &index)) {
        out.terminal = static_cast<int>(index);
    } else {
        return fail("the terminal must be an index from 0 or 'all'");
    }

    const KindInfo* info = nullptr;
    for (const KindInfo& k : kKinds) {
        if (parts[1] == k.name) info = &k;
    }
    if (info == nullptr) return fail("unknown kind '" + parts[1] + "'");
    out.kind = info->kind;

    const std::vector<std::string> args(parts.begin() + 2, parts.end());
    const std::string usage = std::string("expected ") + info->usage;
    auto count = [&](size_t i, uint64_t max) { return ParseUnsigned(args[i], max, &out.count); };
    auto reason = [&](size_t i) {
        uint64_t r = 0;
        if (!ParseUnsigned(args[i], 255, &r)) return false;
        out.reason = static_cast<int>(r);
        return true;
    };
    constexpr uint64_t kMaxCount = uint64_t{1} << 62;
    constexpr uint64_t kMaxMs = 3600 * 1000;
    bool ok = false;
    switch (out.kind) {
        case FaultKind::kNoUnlock:
            ok = args.empty();
            break;
        case FaultKind::kNakWrite:
            ok = (args.size() == 1 || args.size() == 2) && count(0, kMaxCount) && out.count > 0 &&
                 (args.size() == 1 || reason(1));
            break;
        case FaultKind::kBadFcs:
        case FaultKind::kStallRandom:
        case FaultKind::kUnplugRandom:
            ok = args.size() == 1 && count(0, kMaxCount) && out.count > 0;
            break;
        case FaultKind::kStall:
        case FaultKind::kUnplug:
            ok = args.size() == 1 && count(0, kMaxCount);
            break;
        case FaultKind::kSlowErase:
            ok = args.size() == 1 && count(0, kMaxMs);
            break;
        case FaultKind::kBitErrors:
        case FaultKind::kDrop:
        case FaultKind::kDup:
            ok = args.size() == 1 && ParseRate(args[0], &out.rate);
            break;
        case FaultKind::kDelay:
            ok = args.size() == 2 && ParseRate(args[0], &out.rate) && count(1, kMaxMs);
            if (ok) out.delayMs = static_cast<int>(out.count);
            break;
        case FaultKind::kNak:
            ok = (args.size() == 1 || args.size() == 2) && ParseRate(args[0], &out.rate) &&
                 (args.size() == 1 || reason(1));
            break;
    }
    if (!ok) return fail(usage + " (counts are whole numbers, K from 1, RATE from 0 to 1)");
    *spec = out;
    return true;
}

bool ParseFaultSpecs(const std::vector<std::string>& texts, std::vector<FaultSpec>* specs,
                     std::string* error) {
    for (const std::string& text : texts) {
        FaultSpec spec;
        if (!ParseFaultSpec(text, &spec, error)) return false;
        specs->push_back(spec);
    }
    return true;
}

TerminalFaults FaultsForTerminal(const std::vector<FaultSpec>& specs, int index) {
    TerminalFaults f;
    for (const FaultSpec& s : specs) {
        if (s.terminal != -1 && s.terminal != index) continue;
        switch (s.kind) {
            case FaultKind::kNoUnlock:
                f.noUnlock = true;
                break;
            case FaultKind::kNakWrite:
                f.nakWrite = s.count;
                f.nakWriteReason = s.reason;
                break;
            case FaultKind::kBadFcs:
                f.badFcs = s.count;
                break;
            case FaultKind::kStall:
                f.stall = true;
                f.stallAfter = s.count;
                break;
            case FaultKind::kUnplug:
                f.unplug = true;
                f.unplugAfter = s.count;
                break;
            case FaultKind::kSlowErase:
                f.slowEraseMs = s.count;
                break;
            case FaultKind::kBitErrors:
                f.bitErrorRate = s.rate;
                break;
            case FaultKind::kDrop:
                f.dropRate = s.rate;
                break;
            case FaultKind::kDup:
                f.dupRate = s.rate;
                break;
            case FaultKind::kDelay:
                f.delayRate = s.rate;
                f.delayMs = s.delayMs;
                break;
            case FaultKind::kNak:
                f.nakRate = s.rate;
                f.nakReason = s.reason;
                break;
            case FaultKind::kStallRandom:
                f.stallRandomMax = s.count;
                break;
            case FaultKind::kUnplugRandom:
                f.unplugRandomMax = s.count;
                break;
        }
    }
    return f;
}

}  // namespace termsim
