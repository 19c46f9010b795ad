// Private-profile (INI) files: the Windows private-profile functions' semantics on any
// platform, so that .kvr profiles and kovirw.ini mean the same thing wherever they were made.
// The reading and editing rules are listed in config/ini_text.h.
//
// Any section can be read and written. A missing or unreadable file (a directory, a device,
// no permission) reads as an empty one. Every write replaces the file in one crash-safe step
// (config/config_io.h): a failed write leaves the old file exactly as it was. A section or
// key name that a file cannot represent (see IniText_IsSectionName) is never found, and a
// write of it, or of a value with a line break, fails.
//
// Any thread may call them. Writes within one process take turns, each reading the file as
// the one before left it; two processes writing one file at the same time each write their
// own result and the last rename wins.
#pragma once

#include <string>
#include <vector>

#include "config/ini_text.h"

// Every key of the section with its value, in file order (first of any repeated key).
IniKeyValues PrivateProfile_GetSection(const char* section, const char* path);

// Writes `key`=`value` into the section (creating key, section and file as needed); a
// nullptr value removes the key. Returns false when nothing could be written.
bool PrivateProfile_WriteString(const char* section, const char* key, const char* value,
                                const char* path);

// One read of a file for many lookups (loading a profile asks for 26 keys).
class PrivateProfileReader {
  public:
    explicit PrivateProfileReader(const char* path);

    // The leading decimal digits of the key's value (see IniText_ParseUnsigned); 0 for a
    // value that does not begin with a digit; `defaultValue` when the key is missing or its
    // value is empty.
    unsigned GetInt(const char* section, const char* key, unsigned defaultValue) const;
    // As PrivateProfile_GetSection, on the text read at construction.
    IniKeyValues GetSection(const char* section) const;
    // The whole unquoted value, however long; false when the key is missing.
    bool GetValue(const char* section, const char* key, std::string* value) const;

  private:
    std::string m_text;
};

// Many key writes saved with one file write, giving exactly the file that the same writes
// one by one would give. Nothing reaches the file before Commit.
class PrivateProfileEdit {
  public:
    explicit PrivateProfileEdit(const char* path);

    // Queue one write; a nullptr value removes the key. Returns false (and queues nothing)
    // for a name or value that the file cannot represent; Commit then reports false too.
    bool Set(const char* section, const char* key, const char* value);

    // Reads the file as it is now, applies the queued writes in order and replaces the file.
    // An unchanged file is not rewritten. Returns false when a write was refused or the file
    // could not be read or written; an unreadable file is then left alone.
    bool Commit();

  private:
    struct Change {
        std::string section;
        std::string key;
        std::string value;
        bool remove;
    };

    std::string m_path;
    std::vector<Change> m_changes;
    bool m_refused = false;
};
