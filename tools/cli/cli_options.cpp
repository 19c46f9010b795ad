#include "tools/cli/cli_options.h"

#include <cctype>
#include <cstdlib>

#include "serial/port_directory.h"

namespace {

// A whole decimal number in [low, high]; no sign, no trailing characters.
bool ParseInt(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text.size() > 12) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

// Decimal seconds: digits with at most one decimal point, nothing else (no sign, exponent,
// hexadecimal form, white space or infinity).
bool ParseSeconds(const std::string& text, double high, double* value) {
    bool digit = false;
    bool point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digit || text.size() > 32) return false;
    const double v = std::strtod(text.c_str(), nullptr);
    if (v > high) return false;
    *value = v;
    return true;
}

// [ADDR:]PORT, where ADDR is an IPv4 address, a host name or an IPv6 address in brackets;
// without ADDR the loopback address, so that nothing else sees the station unless asked.
bool ParseHttpAddress(const std::string& text, std::string* host, int* port) {
    std::string address = "127.0.0.1";
    std::string number = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        address = text.substr(0, colon);
        number = text.substr(colon + 1);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
            address = address.substr(1, address.size() - 2);
        else if (address.find(':') != std::string::npos)
            return false;  // an IPv6 address needs its brackets
        if (address.empty() || address.size() > 255) return false;
        for (char c : address)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':'))
                return false;
    }
    long value = 0;
    if (!ParseInt(number, 0, 65535, &value)) return false;
    *host = address;
    *port = static_cast<int>(value);
    return true;
}

}  // namespace

const char* CLI_Usage() {
    return "usage: kovirw-cli [--profile FILE] [--port CH=N]... [--auto COUNT [--auto-timeout S]]\n"
           "                  [--report FILE] [--change-boot-area] [--no-progress]\n"
           "       kovirw-cli --station [--port CH=N]... [--log FILE] [--http [ADDR:]PORT] ...\n"
           "       kovirw-cli --list-ports\n"
           "  Flashes the images of the download profile into the terminals on the channels'\n"
           "  ports, using kovirw.ini and the profile in the current directory as the desktop\n"
           "  program does. It never writes the profile, and writes the settings file only\n"
           "  to keep the COM number of a USB port seen for the first time (section PORTS).\n"
           "  --profile FILE      load this profile instead of the one the settings name\n"
           "  --port CH=N         channel CH (0 to 7) uses COM N; once per channel\n"
           "  --auto COUNT        wait for COUNT ports to arrive and assign them in order\n"
           "  --auto-timeout S    give up waiting after S seconds, such as 30 or 2.5 (default 30)\n"
           "  --report FILE       write one JSON object per channel to FILE\n"
           "  --change-boot-area  write the MSM Code image from flash address 0\n"
           "  --no-progress       no live progress bars\n"
           "  --station           until Ctrl+C, flash every terminal as its port arrives, on the\n"
           "                      lowest free channel. Ports already there at the start are\n"
           "                      left alone (a PC's own COM ports); with --port, only those\n"
           "                      COM numbers count, and those already there are flashed\n"
           "  --log FILE          (station) append one JSON line per terminal to FILE\n"
           "  --list-ports        list the ports present: COM number, device, what the entry\n"
           "                      links to, and who published it\n"
           "  --http [ADDR:]PORT  (station) serve a live status page (/), /status.json and\n"
           "                      /metrics (Prometheus), read-only; on 127.0.0.1 unless ADDR\n"
           "                      is given; PORT 0 takes a free port\n"
           "exit status: 0 every channel (station: every terminal) done, 1 one failed or\n"
           "the run was stopped mid-download, 2 usage or selection error\n";
}

bool CLI_ParseOptions(const std::vector<std::string>& args, CliOptions* o, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o->help = true;
        } else if (a == "--profile") {
            if (!value(&v)) return false;
            if (v.empty()) {
                *error = "--profile needs a file name";
                return false;
            }
            o->profile = v;
        } else if (a == "--port") {
            if (!value(&v)) return false;
            size_t eq = v.find('=');
            long ch = 0, com = 0;
            if (eq == std::string::npos || !ParseInt(v.substr(0, eq), 0, CHANNEL_COUNT - 1, &ch) ||
                !ParseInt(v.substr(eq + 1), 1, PORT_COM_MAX, &com)) {
                *error =
                    "--port takes CH=N with CH from 0 to 7 and a COM number N from 1: '" + v + "'";
                return false;
            }
            if (o->ports[ch] != 0) {
                *error = "--port gives channel " + std::to_string(ch) + " twice";
                return false;
            }
            for (int c = 0; c < CHANNEL_COUNT; ++c) {
                if (c != ch && o->ports[c] == com) {
                    *error = "COM" + std::to_string(com) + " is given to two channels";
                    return false;
                }
            }
            o->ports[ch] = static_cast<int>(com);
            o->portsGiven = true;
        } else if (a == "--auto") {
            long n = 0;
            if (!value(&v)) return false;
            if (!ParseInt(v, 1, 8, &n)) {
                *error = "--auto takes a port count from 1 to 8: '" + v + "'";
                return false;
            }
            o->autoCount = static_cast<int>(n);
        } else if (a == "--auto-timeout") {
            if (!value(&v)) return false;
            if (!ParseSeconds(v, 86400, &o->autoTimeoutS)) {
                *error = "--auto-timeout takes decimal seconds from 0 to 86400: '" + v + "'";
                return false;
            }
        } else if (a == "--report") {
            if (!value(&v)) return false;
            if (v.empty()) {
                *error = "--report needs a file name";
                return false;
            }
            o->report = v;
        } else if (a == "--change-boot-area") {
            o->changeBootArea = true;
        } else if (a == "--no-progress") {
            o->progress = false;
        } else if (a == "--list-ports") {
            o->listPorts = true;
        } else if (a == "--station") {
            o->station = true;
        } else if (a == "--log") {
            if (!value(&v)) return false;
            if (v.empty()) {
                *error = "--log needs a file name";
                return false;
            }
            o->log = v;
        } else if (a == "--http") {
            if (!value(&v)) return false;
            if (!ParseHttpAddress(v, &o->httpHost, &o->httpPort)) {
                *error =
                    "--http takes [ADDR:]PORT with PORT from 0 to 65535 (an IPv6 ADDR in "
                    "brackets): '" +
                    v + "'";
                return false;
            }
        } else {
            *error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (o->listPorts && (o->station || o->portsGiven || o->autoCount > 0 || !o->report.empty() ||
                         !o->log.empty())) {
        *error =
            "--list-ports only lists the ports: no --station, --port, --auto, --report or --log";
        return false;
    }
    if (o->portsGiven && o->autoCount > 0) {
        *error = "--port and --auto cannot be used together";
        return false;
    }
    if (o->station && (o->autoCount > 0 || !o->report.empty())) {
        *error =
            "--station takes every port as it arrives and logs each terminal with --log: "
            "no --auto or --report";
        return false;
    }
    if (!o->station && !o->log.empty()) {
        *error = "--log is the log of --station";
        return false;
    }
    if (!o->station && o->httpPort >= 0) {
        *error = "--http serves the view of --station";
        return false;
    }
    return true;
}
