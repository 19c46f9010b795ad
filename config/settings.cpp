#include "config/settings.h"

#include <climits>
#include <cstring>
#include <string>

#include "config/config_testing.h"
#include "config/private_profile.h"

int g_nAutoDetect = 0;
int g_nSavedPort[CONFIG_CHANNEL_COUNT] = {};
int g_nWriteDelay = DEFAULT_WRITE_DELAY_MS;
int g_nBaudRate = CONFIG_DEFAULT_BAUDRATE;

namespace {

std::string s_baudRateText;  // BAUDRATE as the file has it

constexpr char kSection[] = "KOVIR";

std::string PortKey(int channel) { return "CH" + std::to_string(channel) + "_PORT"; }

// A number past INT_MAX would turn negative in the signed setting (a negative delay or port
// index), so it counts as missing.
int ReadSetting(const PrivateProfileReader& file, const char* key, int defaultValue) {
    unsigned value = file.GetInt(kSection, key, static_cast<unsigned>(defaultValue));
    return value > static_cast<unsigned>(INT_MAX) ? defaultValue : static_cast<int>(value);
}

// Stores `path` if it fits; a cut path would name another file, so then there is none.
void SetProfilePath(const std::string& path) {
    if (path.size() > static_cast<size_t>(CONFIG_MAX_PATH)) {
        g_szProfilePath[0] = '\0';
        return;
    }
    std::memcpy(g_szProfilePath, path.c_str(), path.size() + 1);
}

}  // namespace

void CONFIG_SettingsPath(char* out) { CONFIG_JoinPath(out, g_szStartDir, "kovirw.ini"); }

int CONFIG_Load(const char* profilePath) {
    char settingsPath[CONFIG_MAX_PATH + 1];
    CONFIG_SettingsPath(settingsPath);
    PrivateProfileReader file(settingsPath);
    g_nAutoDetect = ReadSetting(file, "AUTODETECT", CONFIG_DEFAULT_AUTODETECT);
    for (int channel = 0; channel < CONFIG_CHANNEL_COUNT; ++channel) {
        g_nSavedPort[channel] = ReadSetting(file, PortKey(channel).c_str(), 0);
    }
    g_nWriteDelay = ReadSetting(file, "DELAY", DEFAULT_WRITE_DELAY_MS);
    g_nBaudRate = ReadSetting(file, "BAUDRATE", CONFIG_DEFAULT_BAUDRATE);
    s_baudRateText.clear();
    file.GetValue(kSection, "BAUDRATE", &s_baudRateText);

    if (profilePath == nullptr) {
        std::string saved;
        file.GetValue(kSection, "KOVIRFILE", &saved);
        // A path ends at a NUL byte, as every text read from the file does: a value that
        // starts with one names no file, like an empty value.
        saved.resize(std::strlen(saved.c_str()));
        bool usable = !saved.empty() && saved.size() <= static_cast<size_t>(CONFIG_MAX_PATH);
        if (usable) {
            SetProfilePath(saved);
        } else {
            CONFIG_JoinPath(g_szProfilePath, g_szStartDir, "default.kvr");
        }
    } else {
        SetProfilePath(profilePath);  // copied first, so it may be g_szProfilePath itself
    }
    PROFILE_Read();
    return 1;
}

int CONFIG_Save() {
    char settingsPath[CONFIG_MAX_PATH + 1];
    CONFIG_SettingsPath(settingsPath);
    PrivateProfileEdit file(settingsPath);
    file.Set(kSection, "AUTODETECT", std::to_string(g_nAutoDetect).c_str());
    for (int channel = 0; channel < CONFIG_CHANNEL_COUNT; ++channel) {
        file.Set(kSection, PortKey(channel).c_str(), std::to_string(g_nSavedPort[channel]).c_str());
    }
    file.Set(kSection, "DELAY", std::to_string(g_nWriteDelay).c_str());
    file.Set(kSection, "BAUDRATE", std::to_string(g_nBaudRate).c_str());
    file.Set(
        kSection, "KOVIRFILE",
        std::string(g_szProfilePath, strnlen(g_szProfilePath, sizeof g_szProfilePath)).c_str());
    file.Commit();
    PROFILE_Write();
    return 1;
}

const std::string& CONFIG_BaudRateText() { return s_baudRateText; }

void CONFIG_ResetForTest() {
    s_baudRateText.clear();
    g_Profile = DownloadProfile{};
    std::memset(g_szStartDir, 0, sizeof g_szStartDir);
    std::memset(g_szProfilePath, 0, sizeof g_szProfilePath);
    g_nAutoDetect = 0;
    for (int& port : g_nSavedPort) {
        port = 0;
    }
    g_nWriteDelay = DEFAULT_WRITE_DELAY_MS;
    g_nBaudRate = CONFIG_DEFAULT_BAUDRATE;
}
