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

// One worker per channel, joined when the run or the station ends, or before the channel's
// next unit starts (it has cleared its port by then and is only returning).
std::thread s_workers[CHANNEL_COUNT];

// The images as DOWNLOAD_SetImage selected them: a channel started on its own gets its row
// back from here, since the transfer of the previous unit emptied the paths.
ImageEntry s_selection[IMAGE_SLOT_COUNT];

int SumOfPorts() {
    int sum = 0;
    for (int c = 0; c < CHANNEL_COUNT; ++c) sum += g_nChannelPort[c] != 0 ? 1 : 0;
    return sum;
}

void ClearEntry(ImageEntry* e) {
    e->slot = -1;
    e->address = 0xFFFFFFFFu;
    e->path[0] = '\0';
}

// Run start's reset of one channel: transport, frame, packet and link state, the active
// flag, and the port and rate recorded. Opens nothing.
void ResetChannel(int c, int port, int baudRate) {
    g_bChannelActive[c] = port != 0 ? 1 : 0;
    SERIAL_PORT_ResetChannel(c);  // forgets the handle: the last worker closed its device
    SERIAL_PORT_ResetDeframer(c);
    PACKET_ResetChannel(c);
    LinkReset(c);
    SERIAL_PORT_Start(c, port, baudRate);
}

// Starts channel c's worker; without one nobody would ever clear the port, so a thread that
// cannot be made reports the channel as failed and counts it finished.
bool LaunchWorker(int c) {
    try {
        s_workers[c] = std::thread(FileDownload, c);
        return true;
    } catch (const std::system_error& e) {
        DEBUG_Trace("[Ch %d] CreateThread False: %s\n", c, e.what());
        g_nChannelPort[c] = 0;
        g_bChannelActive[c] = 0;
        KOVIR_SendChannelFact(c, FACT_FAILED, "ERR: Thread");
        return false;
    }
}

// The poll loop of a run: delivers events and lets the host work until no channel has a
// worker and (when finish is given) the host has set *finish; then joins every worker.
void Pump(const bool* finish) {
    for (;;) {
        EVENTS_DeliverPending();
        if (s_runWindow != nullptr) s_runWindow->PumpHostEvents();
        if (SumOfPorts() == 0 && (finish == nullptr || *finish)) break;
        EVENTS_WaitForPost(kPollPeriod);
    }
    for (std::thread& worker : s_workers)
        if (worker.joinable()) worker.join();
}

}  // namespace

void DOWNLOAD_ClearImages() {
    for (auto& row : g_ImageTable)
        for (ImageEntry& e : row) ClearEntry(&e);
    for (ImageEntry& e : s_selection) ClearEntry(&e);
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
    s_selection[slot] = g_ImageTable[0][slot];
    return slot;
}

int DOWNLOAD_CheckImages(std::string* reason) {
    for (const ImageEntry& e : g_ImageTable[0]) {
        // Opened for its size only; a file that cannot be opened is the transfer's to report.
        int64_t fileSize = 0;
        if (e.slot < 0 || e.path[0] == '\0' || !ImageFileHandle().Open(e.path, &fileSize)) continue;
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
    for (int c = 0; c < CHANNEL_COUNT; ++c) ResetChannel(c, ports[c], baudRate);
    return 1;
}

int DOWNLOAD_Run() { return DOWNLOAD_Serve(nullptr); }

int DOWNLOAD_Serve(const bool* finish) {
    SERIAL_DEVICE_BeginRun();
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        if (g_nChannelPort[c] != 0) LaunchWorker(c);
    Pump(finish);
    SERIAL_DEVICE_EndRun();
    return 1;
}

int DOWNLOAD_StartChannel(int channel, int comPort, int baudRate) {
    if (channel < 0 || channel >= CHANNEL_COUNT || comPort <= 0 || baudRate <= 0) return 0;
    if (g_nChannelPort[channel] != 0) return 0;  // its worker still runs
    if (s_workers[channel].joinable()) s_workers[channel].join();
    SERIAL_PORT_Close(channel);  // a worker closes its device at its end; never leave one open
    for (int slot = 0; slot < IMAGE_SLOT_COUNT; ++slot) {
        ImageEntry& e = g_ImageTable[channel][slot];
        e = s_selection[slot];
        e.channel = channel;
        e.totalBytes = 0;
        e.doneBytes = 0;
        e.ackedBytes = 0;
    }
    // A new terminal's dialogue starts as the first one after program start does, with
    // sequence number 0, whatever the previous terminal's packet count left.
    FN[channel] = LinkRecord{};
    ResetChannel(channel, comPort, baudRate);
    return LaunchWorker(channel) ? 1 : 0;
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
