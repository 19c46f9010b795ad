// The download profile: which image goes to which flash address, kept in a `.kvr` file,
// and the start-up directory that the profile and the settings file are found in.
//
// Everything here runs on the console's thread (or the headless front end's main thread).
#pragma once

#include <cstdint>

#ifdef _WIN32
constexpr int CONFIG_MAX_PATH = 260;
#else
constexpr int CONFIG_MAX_PATH = 4096;
#endif
constexpr int CONFIG_MAX_ADDRESS = 31;  // characters of an address text
constexpr int PROFILE_SLOT_COUNT = 9;   // image slots, in ImageSlot order

struct ProfileSlot {
    int32_t check;                        // 1 = selected for download
    char file[CONFIG_MAX_PATH + 1];       // full path of the image file; empty = none chosen
    char address[CONFIG_MAX_ADDRESS + 1]; // hexadecimal text, optional "0x"; empty = none
};

struct DownloadProfile {
    int32_t changeBootArea;  // in memory only: MSM Code from flash address 0
    ProfileSlot slot[PROFILE_SLOT_COUNT];
};

extern DownloadProfile g_Profile;
extern char g_szStartDir[CONFIG_MAX_PATH + 1];
extern char g_szProfilePath[CONFIG_MAX_PATH + 1];

// Stores the process's current directory in g_szStartDir.
void CONFIG_InitStartDir();

// Reads g_Profile from g_szProfilePath; does nothing when the path is empty.
void PROFILE_Read();

// Writes g_Profile to g_szProfilePath in one atomic save; does nothing when the path is empty.
void PROFILE_Write();

// Joins a directory and a file name with the platform's separator, cut to CONFIG_MAX_PATH.
void CONFIG_JoinPath(char* out, const char* dir, const char* name);
