#include "engine/download.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "config/settings.h"
#include "core/event_queue.h"
#include "core/hex_address.h"
#include "engine/file_download.h"
#include "loader/frame_io.h"
#include "loader/image_file.h"
#include "loader/image_transfer.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "serial/port_service.h"

namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(50);

EngineWindow* s_runWindow = nullptr;  // the host whose events DOWNLOAD_Run pumps

int SumOfPorts() {
    int sum = 0;
    for (int c = 0; c < CHANNEL_COUNT; ++c) sum += g_nChannelPort[c] != 0 ? 1 : 0;
    return sum;
}

}  // namespace

void DOWNLOAD_ClearImages() {
    for (auto& row : g_ImageTable) {
        for (ImageEntry& e : row) {
            e.slot = -1;
            e.address = 0xFFFFFFFFu;
            e.path[0] = '\0';
        }
    }
}

int DOWNLOAD_SetImage(int slot, const char* path, const char* addressText) {
    if (slot < 0 || slot >= IMAGE_SLOT_COUNT || path == nullptr || addressText == nullptr)
        return -1;
    if (std::strlen(path) >= IMAGE_PATH_SIZE) return -1;
    uint32_t address = 0;
    if (!HEX_ReadAddress(addressText, &address)) return -1;
    for (auto& row : g_ImageTable) {
        ImageEntry& e = row[slot];
        e.slot = slot;
        e.address = address;
        std::strcpy(e.path, path);
    }
    return slot;
}

int DOWNLOAD_CheckImages(std::string* reason) {
    for (const ImageEntry& e : g_ImageTable[0]) {
        // Opened for its size only; a file that cannot be opened is the transfer's to report.
        int64_t fileSize = 0;
        if (e.slot < 0 || e.path[0] == '\0' || !ImageFileHandle().Open(e.path, &fileSize))
            continue;
        const long long size = fileSize;
        const long long bytes = e.slot == SLOT_MSM_CODE ? size - e.address : size;
        char text[160];
        switch (IMAGE_TRANSFER_CheckRange(e.slot, e.address, size)) {
            case RANGE_FITS:
                continue;
            case RANGE_FILE_TOO_LARGE:
                std::snprintf(text, sizeof text, "%lld bytes, more than an image may have (%d)",
                              size, INT32_MAX);
                break;
            case RANGE_PAST_END:
                std::snprintf(text, sizeof text,
                              "the start address %X lies past the end of the file (%lld bytes)",
                              e.address, size);
                break;
            case RANGE_OVERFLOW:
                std::snprintf(text, sizeof text,
                              "%lld bytes from address %X run past the top of the 32-bit flash "
                              "address space",
                              bytes, e.address);
                break;
        }
        *reason = std::string(e.path) + ": " + text;
        return e.slot;
    }
    return -1;
}

int DOWNLOAD_Start(EngineWindow* window, int messageId, const int ports[CHANNEL_COUNT],
                   int baudRate) {
    EVENTS_Register(window, messageId);
    s_runWindow = window;
    SERIAL_PORT_SetReceiveHook(SERIAL_PORT_Deframe);
    SERIAL_PORT_SetWriteDelay(g_nWriteDelay);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        g_bChannelActive[c] = ports[c] != 0 ? 1 : 0;
        SERIAL_PORT_ResetChannel(c);  // forgets the handle: the last run closed every device
        SERIAL_PORT_ResetDeframer(c);
        PACKET_ResetChannel(c);
        LinkReset(c);
        SERIAL_PORT_Start(c, ports[c], baudRate);
    }
    return 1;
}

int DOWNLOAD_Run() {
    SERIAL_DEVICE_BeginRun();
    std::thread workers[CHANNEL_COUNT];
    int count = 0;
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        if (g_nChannelPort[c] == 0) continue;
        try {
            workers[count] = std::thread(FileDownload, c);
            ++count;
        } catch (const std::system_error& e) {
            // Without a worker nobody would ever clear the port: report the channel as
            // failed and count it finished.
            DEBUG_Trace("[Ch %d] CreateThread False: %s\n", c, e.what());
            g_nChannelPort[c] = 0;
            g_bChannelActive[c] = 0;
            KOVIR_SendChannelText(c, "ERR: Thread");
        }
    }
    for (;;) {
        EVENTS_DeliverPending();
        if (s_runWindow != nullptr) s_runWindow->PumpHostEvents();
        if (SumOfPorts() == 0) break;
        EVENTS_WaitForPost(kPollPeriod);
    }
    for (int i = 0; i < count; ++i) workers[i].join();
    SERIAL_DEVICE_EndRun();
    return 1;
}

int DOWNLOAD_StopChannel(int channel) {
    if (channel < 0 || channel >= CHANNEL_COUNT) return 1;
    g_bChannelActive[channel] = 0;
    SERIAL_PORT_Close(channel);
    return 1;
}

int DOWNLOAD_Stop() {
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        if (g_bChannelActive[c] == 1) {
            g_bChannelActive[c] = 0;
            SERIAL_PORT_Stop(c);
        }
    }
    EVENTS_Unregister();
    return 1;
}

int DOWNLOAD_DeliverEvents() { return EVENTS_DeliverPending(); }
