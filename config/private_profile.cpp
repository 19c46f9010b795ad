#include "config/private_profile.h"

#include <cstring>
#include <mutex>

#include "config/config_io.h"

namespace {

bool ValidNames(const char* section, const char* key) {
    return section != nullptr && key != nullptr && IniText_IsSectionName(section) &&
           IniText_IsKeyName(key);
}

// A value that reads as the one to write but is stored in other bytes (a path in the ANSI
// code page) stays as it is, so that the program that wrote it still reads it.
bool SameValueInOtherBytes(const std::string& text, const std::string& section,
                           const std::string& key, const std::string& value) {
    std::string bytes;
    return IniText_Find(text, section, key, &bytes) && bytes != value &&
           CONFIG_IO_ValueText(bytes) == value;
}

std::string ReadOrEmpty(const char* path) {
    std::string text;
    CONFIG_IO_ReadFile(path, &text);
    return text;
}

}  // namespace

PrivateProfileReader::PrivateProfileReader(const char* path) : m_text(ReadOrEmpty(path)) {}

bool PrivateProfileReader::GetValue(const char* section, const char* key,
                                    std::string* value) const {
    std::string bytes;
    if (!ValidNames(section, key) || !IniText_Find(m_text, section, key, &bytes)) return false;
    *value = CONFIG_IO_ValueText(bytes);
    return true;
}

unsigned PrivateProfileReader::GetInt(const char* section, const char* key,
                                      unsigned defaultValue) const {
    std::string value;
    if (!GetValue(section, key, &value) || value.empty()) {
        return defaultValue;
    }
    return IniText_ParseUnsigned(value);
}

IniKeyValues PrivateProfileReader::GetSection(const char* section) const {
    if (section == nullptr || !IniText_IsSectionName(section)) {
        return {};
    }
    IniKeyValues values = IniText_Section(m_text, section);
    for (auto& keyValue : values) keyValue.second = CONFIG_IO_ValueText(keyValue.second);
    return values;
}

IniKeyValues PrivateProfile_GetSection(const char* section, const char* path) {
    return PrivateProfileReader(path).GetSection(section);
}

bool PrivateProfile_WriteString(const char* section, const char* key, const char* value,
                                const char* path) {
    PrivateProfileEdit edit(path);
    edit.Set(section, key, value);
    return edit.Commit();
}

PrivateProfileEdit::PrivateProfileEdit(const char* path) : m_path(path != nullptr ? path : "") {}

bool PrivateProfileEdit::Set(const char* section, const char* key, const char* value) {
    if (!ValidNames(section, key) || (value != nullptr && !IniText_IsValue(value))) {
        m_refused = true;
        return false;
    }
    m_changes.push_back(Change{section, key, value != nullptr ? value : "", value == nullptr});
    return true;
}

bool PrivateProfileEdit::Commit() {
    // One edit at a time in this process: the port publisher binds new COM numbers from its
    // own thread while the console may store the settings, and each edit must start from
    // the file as the one before it left it.
    static std::mutex s_editing;
    std::lock_guard<std::mutex> editing(s_editing);
    std::string original;
    ConfigFileStatus status = CONFIG_IO_ReadFile(m_path.c_str(), &original);
    if (m_path.empty() || status == ConfigFileStatus::Unreadable) {
        return false;
    }
    std::string text = original;
    for (const Change& change : m_changes) {
        if (change.remove) {
            IniText_Remove(&text, change.section, change.key);
        } else if (!SameValueInOtherBytes(text, change.section, change.key, change.value)) {
            IniText_Set(&text, change.section, change.key, change.value, CONFIG_IO_LINE_END);
        }
    }
    bool unchanged = text == original && (status == ConfigFileStatus::Ok || text.empty());
    bool written = unchanged || CONFIG_IO_ReplaceFile(m_path.c_str(), text);
    return written && !m_refused;
}
