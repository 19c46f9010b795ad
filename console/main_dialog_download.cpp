// The Download button, the run of the engine and what its events show on the channel bars
// and in the log.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include "console/host_wake.h"
#include "console/image_slots.h"
#include "console/main_dialog.h"
#include "console/message_box.h"
#include "console/operator_text.h"
#include "console/percent_bar.h"
#include "core/event_record.h"
#include "engine/download.h"

void MainDialog::ConnectRun() {
    connect(m_btnDownload, &QPushButton::clicked, this, &MainDialog::OnDownload);
    // Events also reach the window while the console thread sits in an event loop other
    // than the run's own, such as a modal box's.
    m_hostWake = std::make_unique<HostWake>([] { DOWNLOAD_DeliverEvents(); });
}

void MainDialog::OnDownload() {
    if (m_running != 0) {
        return;  // a second run would refill the image table under the running workers
    }
    DOWNLOAD_ClearImages();
    SlotChoice choices[OPERATOR_SLOT_COUNT];
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        choices[s].checked = m_chkImage[s]->isChecked();
        choices[s].file = g_Profile.slot[s].file;
        choices[s].address = AddressField(s)->text().toStdString();
    }
    const int invalid = OPERATOR_CheckSelection(choices);
    if (invalid == OPERATOR_SLOT_COUNT) {
        ShowNotice(this, QString::fromUtf8(OPERATOR_SelectImage));
        return;
    }
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        if (!choices[s].checked) {
            continue;
        }
        // The engine refuses what it cannot flash (an address past 32 bits, a path too long
        // for its table) as the check refuses an incomplete slot: with the slot's message.
        bool refused = s == invalid;
        if (!refused) {
            ProfileSlot& slot = g_Profile.slot[s];
            CopyToField(slot.address, sizeof slot.address, AddressField(s)->text());
            refused = DOWNLOAD_SetImage(s, slot.file, slot.address) < 0;
        }
        if (refused) {
            ShowNotice(this, QString::fromUtf8(OPERATOR_InvalidMessage(s)));
            return;
        }
    }
    // An image that cannot be flashed is found before any terminal is touched.
    std::string reason;
    const int unfit = DOWNLOAD_CheckImages(&reason);
    if (unfit >= 0) {
        ShowNotice(this, QString::fromUtf8(OPERATOR_InvalidMessage(unfit)) + QLatin1Char('\n') +
                             QString::fromStdString(reason));
        return;
    }

    const std::string baudProblem = OPERATOR_BaudProblem(g_nBaudRate);
    if (!baudProblem.empty()) {
        ShowNotice(this, QString::fromStdString(baudProblem));
        return;
    }
    DOWNLOAD_Start(this, WM_ENGINE_EVENT, m_channelPort, g_nBaudRate);
    for (int c = 0; c < kChannelCount; ++c) {
        m_runPort[c] = m_channelPort[c];
    }
    m_running = 1;
    m_btnDownload->setEnabled(false);
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

void MainDialog::StopRun() {
    DOWNLOAD_Stop();
    ++m_runStops;
}

void MainDialog::EnableDownload(bool enabled) {
    m_btnDownload->setEnabled(enabled && m_running == 0);
}

void MainDialog::LockPanelForRun(bool locked) {
    m_btnLoad->setEnabled(!locked);
    m_btnSaveAs->setEnabled(!locked);
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        m_chkImage[s]->setEnabled(!locked);
        m_btnBrowse[s]->setEnabled(!locked);
        // Outside a run an address field (the Code one too) is open exactly when its row is
        // checked; the row's image bar only shows a path and stays as it is.
        AddressField(s)->setEnabled(!locked && m_chkImage[s]->isChecked());
    }
    m_btnChangeBoot->setEnabled(!locked && m_chkImage[kSlotMsmCode]->isChecked());
}

void MainDialog::ShowOnBar(int channel, const QString& text, int upper, int position) {
    PercentBar* bar = m_barChannel[channel];
    bar->SetText(text);
    bar->SetRange(0, upper);
    bar->SetPos(position);
}

int MainDialog::OnEngineMessage(int message, int code, const void* record) {
    return message == WM_ENGINE_EVENT ? OnEngineEvent(code, record) : 0;
}

void MainDialog::PumpHostEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void MainDialog::WakeHost() {
    m_hostWake->Wake();
}

int MainDialog::OnEngineEvent(int code, const void* record) {
    EngineEventRecord event;
    if (!ENGINE_EVENT_Read(code, record, &event)) {
        return 0;
    }
    const int c = event.channel;
    switch (code) {
        case EV_PROGRESS: {
            const ImageEntry* image = event.entry;
            const QString text = QString::fromStdString(
                OPERATOR_ProgressText(image->slot, image->doneBytes, image->totalBytes));
            if (image->doneBytes == image->totalBytes) {
                ShowOnBar(c, text, 100, 100);
            } else {
                ShowOnBar(c, text, image->totalBytes, image->doneBytes);
            }
            break;
        }
        case EV_CHANNEL_DONE: {
            const bool dmb = m_chkImage[kSlotDmb]->isChecked();
            LogAppend(QString::fromStdString(OPERATOR_ChannelDoneLine(c, dmb)));
            if (dmb) {
                ShowOnBar(c, QString::fromUtf8(OPERATOR_DmbWritingBar), 100, 0);
            }
            break;
        }
        case EV_TEXT:
            LogAppend(QString::fromUtf8(event.text));
            break;
        case EV_CHANNEL_TEXT: {
            if (event.text[0] == '\0') {
                break;
            }
            const QString text = QString::fromUtf8(event.text);
            ShowOnBar(c, text, 100, 0);
            // Only channel 0's status texts go to the log; the others live on their bars.
            if (c == 0) {
                LogAppend(text);
            }
            break;
        }
        default:
            break;
    }
    return 0;
}
