// The termsim program's command line. Pure; thread-safe.
#pragma once

#include <string>

#include "tools/termsim/termsim.h"

namespace termsim {

// Usage text for --help and for mistakes.
const char* UsageText();

enum class ParseResult { kRun, kHelp, kError };

// Parses argv[1..argc) into *options. On kError, *error says which argument is wrong and why.
ParseResult ParseCommandLine(int argc, const char* const* argv, Options* options,
                             std::string* error);

}  // namespace termsim
