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
#include <fstream>
#include <string>
#include <vector>

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

std::string ReadBack(const std::string& path) {
    std::string text;
    CONFIG_IO_ReadFile(path.c_str(), &text);
    return text;
}

bool Ends(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

// Loads from the scratch directory as at program start; checks what no file may break and
// returns every setting and profile field, each ended by a NUL byte.
std::string Load(const std::string& dir) {
    CONFIG_ResetForTest();
    std::snprintf(g_szStartDir, sizeof g_szStartDir, "%s", dir.c_str());
    CONFIG_Load(nullptr);
    FUZZ_CHECK(Ends(g_szProfilePath, sizeof g_szProfilePath));
    FUZZ_CHECK(g_nAutoDetect >= 0 && g_nWriteDelay >= 0 && g_nBaudRate >= 0);
    FUZZ_CHECK(g_Profile.changeBootArea == 0);
    std::string fields = std::string(g_szProfilePath) + '\0';
    for (int n : {g_nAutoDetect, g_nWriteDelay, g_nBaudRate}) fields += std::to_string(n) + '\0';
    for (int port : g_nSavedPort) {
        FUZZ_CHECK(port >= 0);
        fields += std::to_string(port) + '\0';
    }
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        const ProfileSlot& slot = g_Profile.slot[s];
        FUZZ_CHECK(Ends(slot.file, sizeof slot.file) && Ends(slot.address, sizeof slot.address));
        if (s == 0) FUZZ_CHECK(slot.address[0] == '\0');
        if (s >= 4) FUZZ_CHECK(std::strcmp(slot.address, kAsicAddress[s - 4]) == 0);
        fields += std::to_string(slot.check) + '\0' + slot.file + '\0' + slot.address + '\0';
    }
    return fields;
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
    std::ofstream(iniPath, std::ios::binary) << ini;
    std::ofstream(kvrPath, std::ios::binary) << kvr;

    const std::string first = Load(dir);
    // Only a profile in the scratch directory is saved: KOVIRFILE may name any file.
    if (kvrPath != g_szProfilePath) return 0;
    CONFIG_Save();
    FUZZ_CHECK(Load(dir) == first);

    std::vector<std::string> settingsKeys = {"AUTODETECT", "DELAY", "BAUDRATE", "KOVIRFILE"};
    for (int c = 0; c < CONFIG_CHANNEL_COUNT; ++c)
        settingsKeys.push_back("CH" + std::to_string(c) + "_PORT");
    FUZZ_CHECK(INI_ForeignLinesKept(ini, ReadBack(iniPath), settingsKeys));
    std::vector<std::string> profileKeys;
    for (const char* slot : {"CODE", "FONT", "DATA", "PRELOAD", "ASIC_BOOT", "ASIC_CODE",
                             "ASIC_FONT", "ASIC_CONTENTS", "ASIC_IMAGE"}) {
        for (const char* key : {"CHECK", "FILE", "ADDRESS"})
            profileKeys.push_back(std::string(slot) + key);
    }
    FUZZ_CHECK(INI_ForeignLinesKept(kvr, ReadBack(kvrPath), profileKeys));
    return 0;
}
