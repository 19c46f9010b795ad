// Fuzzes loading the settings file and the download profile from a scratch directory: the
// input is split into kovirw.ini and default.kvr. Nothing may crash or overrun; every text
// must end inside its field; no setting may come out negative; the ASIC addresses are the
// fixed ones. Saving what was loaded and loading it again must give the same settings and
// profile, and must leave every line of both files that holds none of their keys as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/config_io.h"
#include "config/config_testing.h"
#include "config/profile.h"
#include "config/settings.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/ini_lines.h"

namespace {

const char* const kAsicAddress[] = {"0xF000100", "0xF000200", "0xF000300", "0xF000400",
                                    "0xF000500"};

char s_scratch[64];  // no destructor: the clean-up at exit still finds it

const char* ScratchDir() {
    if (s_scratch[0] == '\0') {
        // In memory when the machine offers it: every save flushes its file to disk.
        std::snprintf(s_scratch, sizeof s_scratch, "/dev/shm/kovirw-fuzz-config-XXXXXX");
        if (mkdtemp(s_scratch) == nullptr) {
            std::snprintf(s_scratch, sizeof s_scratch, "/tmp/kovirw-fuzz-config-XXXXXX");
            FUZZ_CHECK(mkdtemp(s_scratch) != nullptr);
        }
        std::atexit([] { std::filesystem::remove_all(s_scratch); });
    }
    return s_scratch;
}

void WriteFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), f) == text.size());
    std::fclose(f);
}

std::string ReadBack(const std::string& path) {
    std::string text;
    CONFIG_IO_ReadFile(path.c_str(), &text);
    return text;
}

bool Ends(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

void CheckLoaded() {
    FUZZ_CHECK(Ends(g_szProfilePath, sizeof g_szProfilePath));
    FUZZ_CHECK(g_nAutoDetect >= 0 && g_nWriteDelay >= 0 && g_nBaudRate >= 0);
    for (int port : g_nSavedPort) FUZZ_CHECK(port >= 0);
    FUZZ_CHECK(g_Profile.changeBootArea == 0);
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        const ProfileSlot& slot = g_Profile.slot[s];
        FUZZ_CHECK(Ends(slot.file, sizeof slot.file) && Ends(slot.address, sizeof slot.address));
        if (s == 0) FUZZ_CHECK(slot.address[0] == '\0');
        if (s >= 4) FUZZ_CHECK(std::strcmp(slot.address, kAsicAddress[s - 4]) == 0);
    }
}

struct Loaded {
    DownloadProfile profile;
    int autoDetect, delay, baud, ports[CONFIG_CHANNEL_COUNT];
    char profilePath[CONFIG_MAX_PATH + 1];
};

Loaded Take() {
    Loaded l;
    std::memcpy(&l.profile, &g_Profile, sizeof l.profile);
    l.autoDetect = g_nAutoDetect;
    l.delay = g_nWriteDelay;
    l.baud = g_nBaudRate;
    std::memcpy(l.ports, g_nSavedPort, sizeof l.ports);
    std::memcpy(l.profilePath, g_szProfilePath, sizeof l.profilePath);
    return l;
}

bool Same(const Loaded& a, const Loaded& b) {
    if (a.autoDetect != b.autoDetect || a.delay != b.delay || a.baud != b.baud ||
        std::memcmp(a.ports, b.ports, sizeof a.ports) != 0 ||
        std::strcmp(a.profilePath, b.profilePath) != 0)
        return false;
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        const ProfileSlot& x = a.profile.slot[s];
        const ProfileSlot& y = b.profile.slot[s];
        if (x.check != y.check || std::strcmp(x.file, y.file) != 0 ||
            std::strcmp(x.address, y.address) != 0)
            return false;
    }
    return true;
}

// Every line of `before` that is not a line of one of `keys` is still in `after`, in order.
bool ForeignLinesKept(const std::string& before, const std::string& after, const std::string* keys,
                      size_t count) {
    const auto b = INI_Lines(before);
    const auto a = INI_Lines(after);
    size_t j = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        bool ours = false;
        for (size_t k = 0; k < count && !ours; ++k) ours = INI_IsLineOfKey(b[i], keys[k]);
        if (ours) continue;
        while (j < a.size() && !INI_LineKept(b[i], a[j], i + 1 == b.size())) ++j;
        if (j == a.size()) return false;
        ++j;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t split = (data[0] | data[1] << 8) % (size - 1);
    const std::string ini(reinterpret_cast<const char*>(data + 2), split);
    const std::string kvr(reinterpret_cast<const char*>(data + 2 + split), size - 2 - split);
    const std::string dir = ScratchDir();
    const std::string iniPath = dir + "/kovirw.ini";
    const std::string kvrPath = dir + "/default.kvr";
    WriteFile(iniPath, ini);
    WriteFile(kvrPath, kvr);

    CONFIG_ResetForTest();
    std::snprintf(g_szStartDir, sizeof g_szStartDir, "%s", dir.c_str());
    CONFIG_Load(nullptr);
    CheckLoaded();
    // Only a profile in the scratch directory is saved: KOVIRFILE may name any file.
    if (kvrPath != g_szProfilePath) return 0;

    const Loaded first = Take();
    CONFIG_Save();
    CONFIG_ResetForTest();
    std::snprintf(g_szStartDir, sizeof g_szStartDir, "%s", dir.c_str());
    CONFIG_Load(nullptr);
    FUZZ_CHECK(Same(first, Take()));

    std::string settingsKeys[12] = {"AUTODETECT", "DELAY", "BAUDRATE", "KOVIRFILE"};
    for (int c = 0; c < 8; ++c) settingsKeys[4 + c] = "CH" + std::to_string(c) + "_PORT";
    FUZZ_CHECK(ForeignLinesKept(ini, ReadBack(iniPath), settingsKeys, 12));
    std::string profileKeys[27];
    const char* const prefixes[] = {"CODE",      "FONT",          "DATA",
                                    "PRELOAD",   "ASIC_BOOT",     "ASIC_CODE",
                                    "ASIC_FONT", "ASIC_CONTENTS", "ASIC_IMAGE"};
    const char* const suffixes[] = {"CHECK", "FILE", "ADDRESS"};
    for (int k = 0; k < 27; ++k) profileKeys[k] = std::string(prefixes[k / 3]) + suffixes[k % 3];
    FUZZ_CHECK(ForeignLinesKept(kvr, ReadBack(kvrPath), profileKeys, 27));
    return 0;
}
