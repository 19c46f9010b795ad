#include "config/profile.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_io.h"
#include "config/private_profile.h"

DownloadProfile g_Profile;
char g_szStartDir[CONFIG_MAX_PATH + 1];
char g_szProfilePath[CONFIG_MAX_PATH + 1];

namespace {

constexpr char kSection[] = "KOVIR";

struct SlotKeys {
    const char* prefix;        // CHECK, FILE and ADDRESS follow it
    int defaultCheck;          // when the CHECK key is missing
    bool hasAddressKey;        // the MSM Code address follows from the boot-area choice
    const char* fixedAddress;  // the ASIC chip's areas never move; nullptr = read the key
};

constexpr SlotKeys kSlots[PROFILE_SLOT_COUNT] = {
    {"CODE", 1, false, nullptr},          {"FONT", 0, true, nullptr},
    {"DATA", 0, true, nullptr},           {"PRELOAD", 0, true, nullptr},
    {"ASIC_BOOT", 0, true, "0xF000100"},  {"ASIC_CODE", 0, true, "0xF000200"},
    {"ASIC_FONT", 0, true, "0xF000300"},  {"ASIC_CONTENTS", 0, true, "0xF000400"},
    {"ASIC_IMAGE", 0, true, "0xF000500"},
};

std::string Key(const char* prefix, const char* suffix) { return std::string(prefix) + suffix; }

std::string s_readProblems;
// FILE and ADDRESS values the last read refused, by slot: kept in the file until the field
// gets a value of its own.
bool s_refused[PROFILE_SLOT_COUNT][2];
enum { kFileValue, kAddressValue };

// Reads a text value (up to a NUL byte) into its field of `size` bytes. A value longer than
// the field is refused, never cut, since a cut path names another file and a cut address
// another flash address: the field is left empty and the refusal told in s_readProblems.
bool ReadText(const PrivateProfileReader& file, const std::string& key, char* out, size_t size) {
    std::string value;
    file.GetValue(kSection, key.c_str(), &value);
    value.resize(std::strlen(value.c_str()));
    if (value.size() >= size) {
        out[0] = '\0';
        s_readProblems += std::string(g_szProfilePath) + ": the value of " + key +
                          " is longer than " + std::to_string(size - 1) +
                          " bytes and is not used\n";
        return false;
    }
    std::memcpy(out, value.c_str(), value.size() + 1);
    return true;
}

// Writes a text key, except one whose value the last read refused while its field is still
// empty: the file keeps what it held.
void WriteText(PrivateProfileEdit& file, const std::string& key, const std::string& text,
               bool refused) {
    if (!(refused && text.empty())) {
        file.Set(kSection, key.c_str(), text.c_str());
    }
}

// A field that someone filled without its terminator is still written only up to its size.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

}  // namespace

void CONFIG_InitStartDir() { CONFIG_IO_CurrentDir(g_szStartDir, sizeof g_szStartDir); }

bool CONFIG_JoinPath(char* out, const char* dir, const char* name) {
    // A cut path would name some other file, and an empty directory would put the file in
    // the root: both are refused with an empty path, which the callers read as "no file".
    int n = std::snprintf(out, CONFIG_MAX_PATH + 1, "%s%c%s", dir, CONFIG_IO_PATH_SEPARATOR, name);
    if (dir[0] == '\0' || n < 0 || n > CONFIG_MAX_PATH) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void PROFILE_Read() {
    if (g_szProfilePath[0] == '\0') {
        return;
    }
    PrivateProfileReader file(g_szProfilePath);
    s_readProblems.clear();
    g_Profile.changeBootArea = 0;
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        const SlotKeys& keys = kSlots[s];
        ProfileSlot& slot = g_Profile.slot[s];
        // The check box has two states: any non-zero number selects the image.
        unsigned check = file.GetInt(kSection, Key(keys.prefix, "CHECK").c_str(),
                                     static_cast<unsigned>(keys.defaultCheck));
        slot.check = check != 0 ? 1 : 0;
        s_refused[s][kFileValue] =
            !ReadText(file, Key(keys.prefix, "FILE"), slot.file, sizeof slot.file);
        s_refused[s][kAddressValue] = false;
        if (keys.fixedAddress != nullptr) {
            std::snprintf(slot.address, sizeof slot.address, "%s", keys.fixedAddress);
        } else if (keys.hasAddressKey) {
            s_refused[s][kAddressValue] =
                !ReadText(file, Key(keys.prefix, "ADDRESS"), slot.address, sizeof slot.address);
        } else {
            slot.address[0] = '\0';
        }
    }
}

const std::string& PROFILE_ReadProblems() { return s_readProblems; }

void PROFILE_Write() {
    if (g_szProfilePath[0] == '\0') {
        return;
    }
    PrivateProfileEdit file(g_szProfilePath);
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        const SlotKeys& keys = kSlots[s];
        const ProfileSlot& slot = g_Profile.slot[s];
        file.Set(kSection, Key(keys.prefix, "CHECK").c_str(), std::to_string(slot.check).c_str());
        WriteText(file, Key(keys.prefix, "FILE"), FieldText(slot.file), s_refused[s][kFileValue]);
        if (keys.hasAddressKey) {
            WriteText(file, Key(keys.prefix, "ADDRESS"), FieldText(slot.address),
                      s_refused[s][kAddressValue]);
        }
    }
    file.Commit();
}
