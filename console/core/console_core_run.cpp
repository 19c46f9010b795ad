// The console reset, the log, the Download button and what engine events show.
#include <string>
#include <vector>

#include "config/settings.h"
#include "console/core/console_core.h"
#include "console/core/operator_text.h"
#include "console/core/run_check.h"
#include "core/event_record.h"
#include "engine/download.h"

namespace {

constexpr int kSlotDmb = SLOT_ASIC_DMB;

}  // namespace

void ConsoleCore::ResetConsole() {
    std::vector<std::string> entries{"-----------"};
    for (int n = 1; n <= kPortListComCount; ++n) {
        entries.push_back("COM" + std::to_string(n));
    }
    for (int c = 0; c < kConsoleChannels; ++c) {
        m_view->FillList(kPortListId[c], entries);
        m_channelPort[c] = 0;
        m_view->Enable(kPortListId[c], true);
        m_view->Select(kPortListId[c], 0);
        m_view->SetText(kChannelBarId[c], std::string());
    }
    m_view->SetChecked(IDC_AUTO, true);
    m_view->Enable(IDC_DOWNLOAD, false);
    m_running = 0;
    m_logText = std::string(OPERATOR_LogStart) + "\r\n";
    m_view->ShowLog(m_logText, std::string());
}

void ConsoleCore::LogAppend(const std::string& text) {
    const std::string line = text + "\r\n";
    m_logText += line;
    m_view->ShowLog(m_logText, line);
}

void ConsoleCore::OnDownload() {
    if (m_running != 0) {
        return;  // a second run would refill the image table under the running workers
    }
    SlotChoice choices[OPERATOR_SLOT_COUNT];
    for (int s = 0; s < kConsoleSlots; ++s) {
        choices[s].checked = m_view->IsChecked(kCheckId[s]);
        choices[s].file = g_Profile.slot[s].file;
        choices[s].address = m_view->GetText(kAddressId[s]);
    }
    const RunRefusal refusal = CONSOLE_CheckRun(choices);
    if (!refusal.message.empty()) {
        m_view->ShowNotice(refusal.message);
        return;
    }
    DOWNLOAD_Start(m_view->EventTarget(), WM_ENGINE_EVENT, m_channelPort, g_nBaudRate);
    for (int c = 0; c < kConsoleChannels; ++c) {
        m_runPort[c] = m_channelPort[c];
    }
    m_running = 1;
    m_view->Enable(IDC_DOWNLOAD, false);
    LockPanelForRun(true);
    DOWNLOAD_Run();
    // A close during the run has stopped it already and cleared m_running.
    if (m_running == 1) {
        m_running = 0;
        EnableDownload(true);
        StopRun();
    }
    for (int& port : m_runPort) {
        port = 0;
    }
    LockPanelForRun(false);
}

void ConsoleCore::StopRun() {
    DOWNLOAD_Stop();
    ++m_runStops;
}

void ConsoleCore::EnableDownload(bool enabled) {
    m_view->Enable(IDC_DOWNLOAD, enabled && m_running == 0);
}

void ConsoleCore::LockPanelForRun(bool locked) {
    // The image selection and the profile must not change under running workers.
    m_view->Enable(IDC_LOAD, !locked);
    m_view->Enable(IDC_SAVE_AS, !locked);
    for (int s = 0; s < kConsoleSlots; ++s) {
        m_view->Enable(kCheckId[s], !locked);
        m_view->Enable(kBrowseId[s], !locked);
        // Outside a run an address field (the Code one too) is open exactly when its row is
        // checked; the row's image bar only shows a path and stays as it is.
        m_view->Enable(kAddressId[s], !locked && m_view->IsChecked(kCheckId[s]));
    }
    m_view->Enable(IDC_CHANGE_BOOT, !locked && m_view->IsChecked(IDC_CHECK_0));
}

void ConsoleCore::ShowOnBar(int channel, const std::string& text, int upper, int position) {
    const int bar = kChannelBarId[channel];
    m_view->SetText(bar, text);
    m_view->SetBarRange(bar, 0, upper);
    m_view->SetBarPos(bar, position);
}

int ConsoleCore::OnEngineEvent(int code, const void* record) {
    EngineEventRecord event;
    if (!ENGINE_EVENT_Read(code, record, &event)) {
        return 0;
    }
    const int c = event.channel;
    switch (code) {
        case EV_PROGRESS: {
            const ImageEntry& image = *event.entry;
            const std::string text =
                OPERATOR_ProgressText(image.slot, image.doneBytes, image.totalBytes);
            if (image.doneBytes == image.totalBytes) {
                ShowOnBar(c, text, 100, 100);
            } else {
                ShowOnBar(c, text, image.totalBytes, image.doneBytes);
            }
            break;
        }
        case EV_CHANNEL_DONE: {
            const bool dmb = m_view->IsChecked(kCheckId[kSlotDmb]);
            LogAppend(OPERATOR_ChannelDoneLine(c, dmb));
            if (dmb) {
                ShowOnBar(c, OPERATOR_DmbWritingBar, 100, 0);
            }
            break;
        }
        case EV_TEXT:
            LogAppend(event.text);
            break;
        case EV_CHANNEL_TEXT:
            if (event.text[0] == '\0') {
                break;
            }
            ShowOnBar(c, event.text, 100, 0);
            // Only channel 0's status texts go to the log; the others live on their bars.
            if (c == 0) {
                LogAppend(OPERATOR_StatusLogLine(event));
            }
            break;
        default:
            break;
    }
    return 0;
}
