#include "engine/file_download.h"

#include <cstdio>

#include "core/engine_events.h"
#include "core/event_queue.h"
#include "engine/download.h"
#include "loader/image_transfer.h"
#include "loader/link.h"
#include "loader/loader_commands.h"
#include "serial/port_service.h"

namespace {

// The worker's last act: the run control learns from the cleared port that it finished.
void Finish(int channel) {
    g_nChannelPort[channel] = 0;
    EVENTS_Wake();
}

}  // namespace

int FileDownload(int channel) {
    KOVIR_SendChannelFact(channel, FACT_STARTED, "Download Start");
    if (SERIAL_PORT_Open(channel) == 0) {
        KOVIR_SendChannelFact(channel, FACT_FAILED, "ERR: Open");
        Finish(channel);
        return 0;
    }

    int success = 1;
    int fileCount = 0;
    int secondsTotal = 0;
    if (FLASH_DOWNLOADER_Unlock(channel) == 0) {
        KOVIR_SendChannelFact(channel, FACT_FAILED, "ERR: Unlock");
        success = 0;
    } else {
        for (int slot = 0; slot < IMAGE_SLOT_COUNT; ++slot) {
            if (g_ImageTable[channel][slot].path[0] == '\0') continue;
            int seconds = TransferImage(channel, slot);
            if (seconds < 1) {
                success = 0;
                break;
            }
            fileCount += 1;
            secondsTotal += seconds;
        }
        // The answers to the last blocks arrive only now: the channel is done only when they
        // all came back accepted, otherwise the terminal's flash may lack those blocks.
        const int drained = FLASH_DOWNLOADER_Close(channel);
        FLASH_DOWNLOADER_Go(channel);
        if (success && (drained == 0 || FN[channel].error_count > 0)) {
            IMAGE_TRANSFER_SendLinkError(channel);
            success = 0;
        }
        if (success) {
            int32_t id = channel;
            KOVIR_SendMessage(EV_CHANNEL_DONE, &id);
            // "%d개 파일, 소요시간 : %d분 %d초", sent in its two parts: the log frames the
            // time as the run's total.
            char files[64];
            char time[64];
            std::snprintf(files, sizeof files, "%d개 파일, ", fileCount);
            std::snprintf(time, sizeof time, "소요시간 : %d분 %d초", secondsTotal / 60,
                          secondsTotal % 60);
            KOVIR_SendChannelSummary(channel, files, time);
        }
    }
    SERIAL_PORT_Drain(channel);  // only here: every stop discards queued output at once
    SERIAL_PORT_Close(channel);
    Finish(channel);
    return success;
}
