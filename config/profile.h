// The download profile: which image goes to which flash address, kept in a `.kvr` file,
// and the start-up directory that the profile and the settings file are found in.
//
// A profile file has one section, KOVIR, with three keys per image slot (CODE, FONT, DATA,
// PRELOAD, ASIC_BOOT, ASIC_CODE, ASIC_FONT, ASIC_CONTENTS, ASIC_IMAGE followed by CHECK, FILE
// and ADDRESS; the MSM Code slot has no ADDRESS key). Other keys and sections in the file are
// kept as they are.
//
// Everything here runs on the console's thread (or the headless front end's main thread).
#pragma once

#include <cstdint>
#include <string>

#include "core/channel_tables.h"

#ifdef _WIN32
// MAX_PATH (260) UTF-16 units, held as UTF-8: up to three bytes each (Korean characters).
constexpr int CONFIG_MAX_PATH = 3 * 260;
#else
constexpr int CONFIG_MAX_PATH = 4096;
#endif
constexpr int CONFIG_MAX_ADDRESS = 31;                // characters of an address text
constexpr int PROFILE_SLOT_COUNT = IMAGE_SLOT_COUNT;  // image slots, in ImageSlot order

struct ProfileSlot {
    int32_t check;                         // 1 = selected for download
    char file[CONFIG_MAX_PATH + 1];        // full path of the image file; empty = none chosen
    char address[CONFIG_MAX_ADDRESS + 1];  // hexadecimal text, optional "0x"; empty = none
};

struct DownloadProfile {
    int32_t changeBootArea;  // in memory only: MSM Code from flash address 0
    ProfileSlot slot[PROFILE_SLOT_COUNT];
};

extern DownloadProfile g_Profile;
extern char g_szStartDir[CONFIG_MAX_PATH + 1];
extern char g_szProfilePath[CONFIG_MAX_PATH + 1];

// Stores the process's current directory in g_szStartDir, once at start-up: file dialogs that
// change the current directory later must not move the settings file. Empty when the
// directory cannot be had (then no settings file is read or written).
void CONFIG_InitStartDir();

// Reads g_Profile from g_szProfilePath; does nothing when the path is empty. Missing keys
// (or a missing file) give the defaults: MSM Code selected, everything else not, no files,
// MSM addresses empty. The ASIC addresses are always the fixed 0xF000100 to 0xF000500, and
// changeBootArea is always 0 afterwards. Any non-zero CHECK value selects the image. A FILE
// or ADDRESS value too long for its field is refused, never cut (a cut path names another
// file): the field stays empty, PROFILE_ReadProblems tells it, and PROFILE_Write leaves the
// value in the file as long as the field stays empty.
void PROFILE_Read();

// One line for each value the last PROFILE_Read refused, naming the profile file, the key
// and the limit; empty when it refused none.
const std::string& PROFILE_ReadProblems();

// Writes g_Profile's 26 keys to g_szProfilePath in one crash-safe save (a new file lists
// them slot by slot: CHECK, FILE, ADDRESS); does nothing when the path is empty. Failures
// are not reported and leave the old file as it was; a text with a line break in it cannot
// be stored and leaves that key's old value.
void PROFILE_Write();

// Joins a directory and a file name with the platform's separator ("%s/%s", "%s\\%s" on
// Windows; no check for a trailing separator, so "/" gives "//name", which the platform
// accepts). Returns false and an empty out when the directory is empty or the result is
// longer than CONFIG_MAX_PATH: a cut path would name another file. out holds
// CONFIG_MAX_PATH + 1 bytes.
bool CONFIG_JoinPath(char* out, const char* dir, const char* name);
