// Command-line options of kovirw-cli. Parsing is pure (no I/O), so it can be tested and
// fuzzed with argument vectors.
#pragma once

#include <string>
#include <vector>

#include "core/channel_tables.h"

struct CliOptions {
    std::string profile;            // --profile FILE: load this profile instead of the settings'
    int ports[CHANNEL_COUNT] = {};  // --port CH=N
    bool portsGiven = false;
    int autoCount = 0;            // --auto COUNT: wait for COUNT ports to arrive
    double autoTimeoutS = 30;     // --auto-timeout S
    std::string report;           // --report FILE
    bool changeBootArea = false;  // --change-boot-area: MSM Code from flash address 0
    bool progress = true;         // --no-progress: no live bars even on a terminal
    bool station = false;         // --station: flash every terminal as it arrives, until stopped
    std::string log;              // --log FILE: one JSON line per unit of the station, appended
    bool listPorts = false;       // --list-ports: print the ports the station would see
    std::string httpHost;         // --http [ADDR:]PORT: the station's read-only web view
    int httpPort = -1;            // -1: no web view; 0: a free port the system picks
    bool help = false;
};

// Parses argv[1..argc-1]. Returns false with a one-line message in *error on a usage error.
bool CLI_ParseOptions(const std::vector<std::string>& args, CliOptions* options,
                      std::string* error);

// The usage text printed by --help and after a usage error.
const char* CLI_Usage();
