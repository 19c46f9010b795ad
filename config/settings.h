// The application settings kept in kovirw.ini in the start-up directory, section KOVIR.
//
// CONFIG_Load and CONFIG_Save run on the console's thread only. g_nWriteDelay is also read
// by the port service before every write; it changes only while no run is in progress.
#pragma once

#include "config/profile.h"

constexpr int CONFIG_CHANNEL_COUNT = 8;

extern int g_nAutoDetect;                       // AUTODETECT, default 1
extern int g_nSavedPort[CONFIG_CHANNEL_COUNT];  // CH0_PORT..CH7_PORT, default 0
extern int g_nWriteDelay;                       // DELAY in ms, default 2
extern int g_nBaudRate;                         // BAUDRATE, default 1382400

// Loads the settings, decides g_szProfilePath (profilePath == nullptr: from KOVIRFILE, or
// default.kvr in the start-up directory), then reads the profile. Returns 1.
int CONFIG_Load(const char* profilePath);

// Writes the settings, then the profile. Returns 1.
int CONFIG_Save();

// The settings file's path: g_szStartDir joined with kovirw.ini.
void CONFIG_SettingsPath(char* out);
