// Fuzzes the private-profile reader and editor with arbitrary file contents; the first byte
// picks the section and key to edit. Nothing may crash or overrun; every listed key must
// look up to its listed value; setting or removing one key must leave every other key's
// value and every line that is not a line of the key as they were, and a value that was
// set must read back as itself.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/ini_text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/ini_lines.h"

namespace {

const char* const kSections[] = {"KOVIR", "PORTS", "k"};
const char* const kKeys[] = {"DELAY", "KOVIRFILE", "CH0_PORT", "COM1", "FONTADDRESS", "a b"};

std::string Lookup(const std::string& text, const char* section, const std::string& key) {
    std::string value = "\n<missing>";  // no real value holds a line break
    IniText_Find(text, section, key, &value);
    return value;
}

// Every key of every section but `key` in `section` reads in `after` as in `before`, and
// every line of `before` that is no line of `key` is kept.
void CheckOthersKept(const std::string& before, const std::string& after, const char* section,
                     const char* key) {
    for (const char* s : kSections) {
        for (const auto& [name, value] : IniText_Section(before, s)) {
            const bool isTheKey = strcasecmp(name.c_str(), key) == 0 && s == section;
            FUZZ_CHECK(isTheKey || Lookup(after, s, name) == value);
        }
    }
    FUZZ_CHECK(INI_ForeignLinesKept(before, after, {key}));
}

void CheckSet(const std::string& text, const char* section, const char* key,
              const std::string& value) {
    std::string edited = text;
    if (!IniText_Set(&edited, section, key, value, "\r\n")) {
        FUZZ_CHECK(!IniText_IsValue(value) && edited == text);
        return;
    }
    FUZZ_CHECK(Lookup(edited, section, key) == value);
    CheckOthersKept(text, edited, section, key);
    // At most a section header and the key's line are new.
    FUZZ_CHECK(INI_Lines(edited).size() <= INI_Lines(text).size() + 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* section = kSections[data[0] % 3];
    const char* key = kKeys[(data[0] / 3) % (sizeof kKeys / sizeof kKeys[0])];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    for (const char* s : kSections) {
        for (const auto& [name, value] : IniText_Section(text, s)) {
            FUZZ_CHECK(Lookup(text, s, name) == value);
            IniText_ParseUnsigned(value);
        }
    }
    // The value comes from the input's last bytes, so it too is explored.
    CheckSet(text, section, key, text.substr(text.size() > 12 ? text.size() - 12 : 0));
    CheckSet(text, section, key, "0x1A0000");
    std::string removed = text;
    FUZZ_CHECK(IniText_Remove(&removed, section, key));
    CheckOthersKept(text, removed, section, key);
    FUZZ_CHECK(INI_Lines(removed).size() + 1 >= INI_Lines(text).size());
    return 0;
}
