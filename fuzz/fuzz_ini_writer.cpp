// Fuzzes the private-profile writer on arbitrary file contents: setting or removing one key
// must leave every other line of the file byte for byte as it was (a hand-edited file keeps
// its comments, odd lines and line ends), and a value that was set must read back as itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/ini_text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/ini_lines.h"

namespace {

const char* const kSections[] = {"KOVIR", "PORTS", "k"};
const char* const kKeys[] = {"DELAY", "KOVIRFILE", "CH0_PORT", "COM1", "FONTADDRESS", "a b"};

void CheckSet(const std::string& text, const char* section, const char* key,
              const std::string& value) {
    std::string edited = text;
    if (!IniText_Set(&edited, section, key, value, "\r\n")) {
        FUZZ_CHECK(!IniText_IsValue(value) && edited == text);
        return;
    }
    FUZZ_CHECK(INI_OnlyKeyLineChanged(text, edited, section, key));
    std::string back;
    FUZZ_CHECK(IniText_Find(edited, section, key, &back) && back == value);
    // A second key written after the first leaves the first one's line alone too.
    std::string twice = edited;
    FUZZ_CHECK(IniText_Set(&twice, "KOVIR", "BAUDRATE", "1382400", "\n"));
    FUZZ_CHECK(INI_OnlyKeyLineChanged(edited, twice, "KOVIR", "BAUDRATE"));
}

void CheckRemove(const std::string& text, const char* section, const char* key) {
    std::string removed = text;
    FUZZ_CHECK(IniText_Remove(&removed, section, key));
    FUZZ_CHECK(INI_OnlyKeyLineRemoved(text, removed, key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* section = kSections[data[0] % 3];
    const char* key = kKeys[(data[0] / 3) % (sizeof kKeys / sizeof kKeys[0])];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    // The value comes from the input's last bytes, so it too is explored.
    const std::string value = text.substr(text.size() > 12 ? text.size() - 12 : 0);
    CheckSet(text, section, key, value);
    CheckSet(text, section, key, "0x1A0000");
    CheckRemove(text, section, key);
    return 0;
}
