// Fuzzes the private-profile reader and editor with arbitrary file contents: nothing may
// crash or overrun, every listed key must look up to its listed value, a copy into a small
// field must be a NUL-terminated prefix, and setting one key must change no other key.
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/ini_text.h"
#include "fuzz/fuzz_check.h"

namespace {

const char* const kSections[] = {"KOVIR", "PORTS", "K"};

std::string Lookup(const std::string& text, const char* section, const std::string& key) {
    std::string value = "\n<missing>";  // no real value holds a line break
    IniText_Find(text, section, key, &value);
    return value;
}

void CheckSections(const std::string& text) {
    for (const char* section : kSections) {
        for (const auto& [key, value] : IniText_Section(text, section)) {
            FUZZ_CHECK(Lookup(text, section, key) == value);
            FUZZ_CHECK(value.find('\n') == std::string::npos);
            IniText_ParseUnsigned(value);
        }
    }
}

bool SameKeyName(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

// Setting KOVIR/DELAY reads back as set and leaves every other key of every section alone.
void CheckSet(const std::string& text, const std::string& value) {
    std::string edited = text;
    if (!IniText_Set(&edited, "KOVIR", "DELAY", value, "\r\n")) {
        FUZZ_CHECK(!IniText_IsValue(value) && edited == text);
        return;
    }
    FUZZ_CHECK(Lookup(edited, "KOVIR", "DELAY") == value);
    for (const char* section : kSections) {
        for (const auto& [key, old] : IniText_Section(text, section)) {
            bool isTheKey = SameKeyName(key, "DELAY") && std::strcmp(section, "KOVIR") == 0;
            FUZZ_CHECK(isTheKey || Lookup(edited, section, key) == old);
        }
    }
    std::string removed = edited;
    FUZZ_CHECK(IniText_Remove(&removed, "PORTS", "COM1"));
    FUZZ_CHECK(Lookup(removed, "KOVIR", "DELAY") == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSections(text);
    // The value to set comes from the input's last bytes, so it too is explored.
    const std::string value = text.substr(size > 12 ? size - 12 : 0);
    CheckSet(text, value);
    CheckSet(text, "7");
    return 0;
}
