// Fuzzes the command line of kovirw-cli: the input is the argument list, split at NUL
// bytes. A refused line must say why; an accepted one must hold only what the options allow
// (channels 0 to 7 on distinct COM numbers, 1 to 8 ports to wait for, a finite time-out,
// never ports and --auto together, a station without --auto or --report, a log only for a
// station, a web view only for a station) and must parse back to the same options when written out
// again.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tools/cli/cli_options.h"

namespace {

// The seconds as --auto-timeout takes them: plain decimal digits, never an exponent, with as
// few decimals as give the same value back.
std::string DecimalSeconds(double seconds) {
    char text[64];
    for (int decimals = 0; decimals < 40; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
        if (std::strtod(text, nullptr) == seconds) break;
    }
    return text;
}

std::vector<std::string> WriteOut(const CliOptions& o) {
    std::vector<std::string> args;
    if (!o.profile.empty()) args.insert(args.end(), {"--profile", o.profile});
    for (int c = 0; c < 8; ++c)
        if (o.ports[c] != 0)
            args.insert(args.end(),
                        {"--port", std::to_string(c) + "=" + std::to_string(o.ports[c])});
    if (o.autoCount > 0) args.insert(args.end(), {"--auto", std::to_string(o.autoCount)});
    args.insert(args.end(), {"--auto-timeout", DecimalSeconds(o.autoTimeoutS)});
    if (!o.report.empty()) args.insert(args.end(), {"--report", o.report});
    if (o.changeBootArea) args.push_back("--change-boot-area");
    if (!o.progress) args.push_back("--no-progress");
    if (o.help) args.push_back("--help");
    if (o.station) args.push_back("--station");
    if (!o.log.empty()) args.insert(args.end(), {"--log", o.log});
    if (o.httpPort >= 0) {
        const bool v6 = o.httpHost.find(':') != std::string::npos;
        args.insert(args.end(), {"--http", (v6 ? "[" + o.httpHost + "]" : o.httpHost) + ":" +
                                               std::to_string(o.httpPort)});
    }
    return args;
}

bool Same(const CliOptions& a, const CliOptions& b) {
    for (int c = 0; c < 8; ++c)
        if (a.ports[c] != b.ports[c]) return false;
    return a.profile == b.profile && a.autoCount == b.autoCount &&
           a.autoTimeoutS == b.autoTimeoutS && a.report == b.report &&
           a.changeBootArea == b.changeBootArea && a.progress == b.progress && a.help == b.help &&
           a.station == b.station && a.log == b.log && a.httpHost == b.httpHost &&
           a.httpPort == b.httpPort;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string arg;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0) args.push_back(arg);

    CliOptions options;
    std::string error;
    if (!CLI_ParseOptions(args, &options, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(!(options.portsGiven && options.autoCount > 0));
    FUZZ_CHECK(!(options.station && (options.autoCount > 0 || !options.report.empty())));
    FUZZ_CHECK(options.log.empty() || options.station);
    FUZZ_CHECK(options.httpPort < 0 ||
               (options.station && options.httpPort <= 65535 && !options.httpHost.empty()));
    for (int c = 0; c < 8; ++c) {
        FUZZ_CHECK(options.ports[c] >= 0);
        for (int d = c + 1; d < 8; ++d)
            FUZZ_CHECK(options.ports[c] == 0 || options.ports[c] != options.ports[d]);
    }
    FUZZ_CHECK(options.autoCount >= 0 && options.autoCount <= 8);
    FUZZ_CHECK(std::isfinite(options.autoTimeoutS) && options.autoTimeoutS >= 0);

    CliOptions again;
    FUZZ_CHECK(CLI_ParseOptions(WriteOut(options), &again, &error));
    FUZZ_CHECK(Same(options, again));
    return 0;
}
