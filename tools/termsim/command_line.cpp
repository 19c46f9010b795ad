#include "tools/termsim/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/port_directory.h"

namespace termsim {
namespace {

bool ParseNumber(const char* text, long long min, long long max, long long* value) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    *value = v;
    return true;
}

bool ParseSeed(const char* text, uint64_t* seed) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0') return false;
    *seed = v;
    return true;
}

}  // namespace

const char* UsageText() {
    return "usage: termsim --count N [--first-com C] [--port-dir DIR] [--flash-dir DIR]\n"
           "               [--baud B] [--seed S] [--fault SPEC]...\n"
           "       termsim --device PATH --baud B [--first-com C] [--flash-dir DIR] ...\n"
           "Simulates N terminals, each a flash loader on a pseudo-terminal published as\n"
           "COM<C>..COM<C+N-1> in the port directory, until SIGINT or SIGTERM.\n"
           "  --count N        terminals to simulate (1 to 256)\n"
           "  --device PATH    serve one terminal on this serial device (one end of a\n"
           "                   null-modem cable) at --baud B instead; nothing is published\n"
           "  --first-com C    COM number of the first terminal (default 1)\n"
           "  --port-dir DIR   where to publish (default: $KOVIRW_PORT_DIR, else\n"
           "                   $XDG_RUNTIME_DIR/kovirw/ports, else /tmp/kovirw-<uid>/ports)\n"
           "  --flash-dir DIR  write each session's results to DIR/COM<n>/ (default: none)\n"
           "  --baud B         take bytes no faster than B/10 per second (default: no pacing)\n"
           "  --seed S         seed of the random faults (default 0)\n"
           "  --fault SPEC     <terminal index from 0, or all>:<kind>[:args], one of\n"
           "                   no-unlock, nak-write:K[:REASON], bad-fcs:K, stall:K, unplug:K,\n"
           "                   slow-erase:MS, bit-errors:RATE, drop:RATE, dup:RATE,\n"
           "                   delay:RATE:MS, nak:RATE[:REASON], stall-random:MAXPACKETS,\n"
           "                   unplug-random:MAXBYTES\n"
           "Prints 'ready COM<a>..COM<b>' once every port is published, and a summary per\n"
           "terminal on stderr at exit.\n";
}

ParseResult ParseCommandLine(int argc, const char* const* argv, Options* options,
                             std::string* error) {
    Options o;
    bool haveCount = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
            return ParseResult::kHelp;
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char* what) {
            *error =
                std::string(arg) + (value == nullptr ? std::string(": missing value")
                                                     : std::string(" '") + value + "': " + what);
            return ParseResult::kError;
        };
        long long number = 0;
        if (std::strcmp(arg, "--count") == 0) {
            if (!ParseNumber(value, 1, kMaxTerminals, &number)) return bad("expected 1 to 256");
            o.count = static_cast<int>(number);
            haveCount = true;
        } else if (std::strcmp(arg, "--first-com") == 0) {
            if (!ParseNumber(value, 1, PORT_COM_MAX, &number))
                return bad("expected a COM number from 1");
            o.firstCom = static_cast<int>(number);
        } else if (std::strcmp(arg, "--port-dir") == 0 || std::strcmp(arg, "--flash-dir") == 0) {
            if (value == nullptr || *value == '\0') return bad("expected a folder");
            (arg[2] == 'p' ? o.portDir : o.flashDir) = value;
        } else if (std::strcmp(arg, "--device") == 0) {
            if (value == nullptr || *value == '\0') return bad("expected a serial device");
            o.device = value;
            o.count = 1;
            haveCount = true;
        } else if (std::strcmp(arg, "--baud") == 0) {
            if (!ParseNumber(value, 1, 100000000, &number))
                return bad("expected a rate from 1 to 100000000");
            o.baud = static_cast<long>(number);
        } else if (std::strcmp(arg, "--seed") == 0) {
            if (!ParseSeed(value, &o.seed)) return bad("expected a whole number");
        } else if (std::strcmp(arg, "--fault") == 0) {
            if (value == nullptr) return bad("");
            FaultSpec spec;
            if (!ParseFaultSpec(value, &spec, error)) return ParseResult::kError;
            o.faults.push_back(spec);
        } else {
            *error = std::string("unknown argument '") + arg + "'";
            return ParseResult::kError;
        }
        ++i;
    }
    if (!haveCount) {
        *error = "--count N is required";
        return ParseResult::kError;
    }
    *options = std::move(o);
    return ParseResult::kRun;
}

}  // namespace termsim
