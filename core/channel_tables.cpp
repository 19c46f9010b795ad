#include "core/channel_tables.h"

ImageEntry g_ImageTable[CHANNEL_COUNT][IMAGE_SLOT_COUNT];
std::atomic<int> g_bChannelActive[CHANNEL_COUNT];
std::atomic<int> g_nChannelPort[CHANNEL_COUNT];
std::atomic<int> g_nChannelBaud[CHANNEL_COUNT];
