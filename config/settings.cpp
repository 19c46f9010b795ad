#include "config/settings.h"

int g_nAutoDetect = 0;
int g_nSavedPort[CONFIG_CHANNEL_COUNT] = {};
int g_nWriteDelay = 2;
int g_nBaudRate = 1382400;
