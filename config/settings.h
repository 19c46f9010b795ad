// The application settings kept in kovirw.ini in the start-up directory, section KOVIR, keys
// AUTODETECT, CH0_PORT..CH7_PORT, DELAY, BAUDRATE, KOVIRFILE (written in that order). Other
// keys and sections of the file (PORTS, for instance) are kept as they are.
//
// CONFIG_Load and CONFIG_Save run on the console's thread only. Run start hands g_nWriteDelay
// to the port service.
#pragma once

#include <string>

#include "config/profile.h"
#include "core/channel_tables.h"

constexpr int CONFIG_CHANNEL_COUNT = CHANNEL_COUNT;

// What a missing key gives (a channel's port: 0, none; DELAY: DEFAULT_WRITE_DELAY_MS).
constexpr int CONFIG_DEFAULT_AUTODETECT = 1;
constexpr int CONFIG_DEFAULT_BAUDRATE = 1382400;

extern int g_nAutoDetect;                       // AUTODETECT; 0 until the first load
extern int g_nSavedPort[CONFIG_CHANNEL_COUNT];  // CH0_PORT..CH7_PORT
extern int g_nWriteDelay;                       // DELAY in ms
extern int g_nBaudRate;                         // BAUDRATE

// Loads the settings from the file on every call (values changed in memory since the last
// save fall back to the saved ones), decides g_szProfilePath, then reads the profile
// (PROFILE_Read). profilePath == nullptr takes KOVIRFILE, or default.kvr in the start-up
// directory when KOVIRFILE is missing, empty or longer than CONFIG_MAX_PATH; any other
// profilePath is stored as given (may be g_szProfilePath itself; empty = no profile file;
// one longer than CONFIG_MAX_PATH leaves no profile file rather than a cut path). Missing
// keys take their defaults; a number past 2147483647 counts as missing; a value that is not
// a number reads as 0. No range checks: ports may be any COM number. Returns 1.
int CONFIG_Load(const char* profilePath);

// BAUDRATE as the settings file had it at the last load (empty when missing or empty), so
// that a refusal can quote what the operator wrote: g_nBaudRate reads "abc" as 0 and a
// number past 2147483647 as the default.
const std::string& CONFIG_BaudRateText();

// Writes the twelve settings in one crash-safe save of the settings file, then the profile
// (PROFILE_Write). Write failures are not reported and leave the old file as it was.
// Returns 1.
int CONFIG_Save();

// The settings file's path: g_szStartDir joined with kovirw.ini; empty when the start-up
// directory is unknown. out holds CONFIG_MAX_PATH + 1 bytes.
void CONFIG_SettingsPath(char* out);
