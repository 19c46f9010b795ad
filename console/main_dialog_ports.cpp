// Port assignment: which COM port each channel downloads through, chosen by hand in the
// port lists or taken automatically as ports arrive; removals free their channel, and during
// a run stop it.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <algorithm>

#include "console/hot_plug.h"
#include "console/main_dialog.h"
#include "console/operator_text.h"
#include "console/percent_bar.h"
#include "engine/download.h"

namespace {

const char kReadyText[] = "Ready...";

}  // namespace

void MainDialog::ConnectPorts() {
    connect(m_btnAuto, &QCheckBox::clicked, this, &MainDialog::OnAutoClicked);
    for (int c = 0; c < kChannelCount; ++c) {
        connect(m_cmbPort[c], &QComboBox::activated, this, [this, c] { OnPortSelChange(c); });
    }
}

void MainDialog::StartHotPlug() {
    m_hotPlug = std::make_unique<HotPlug>(
        [this](PortChange::Kind kind, int com, const QString& devicePath) {
            ShowPortPath(com, devicePath);
            OnDeviceChange(kind, QStringLiteral("COM%1").arg(com));
        });
    m_hotPlug->Start();
}

void MainDialog::SetChannelPort(int channel, int port) {
    m_channelPort[channel] = port;
    // A port beyond the list's entries is held all the same; the list then shows none.
    m_cmbPort[channel]->setCurrentIndex(port >= 0 && port <= kPortListComCount ? port : -1);
}

void MainDialog::ShowPortPath(int com, const QString& devicePath) {
    if (devicePath.isEmpty()) {
        m_portPath.erase(com);
    } else {
        m_portPath[com] = devicePath;
    }
    if (com < 1 || com > kPortListComCount) {
        return;
    }
    for (QComboBox* list : m_cmbPort) {
        list->setItemData(com, devicePath.isEmpty() ? QVariant() : QVariant(devicePath),
                          Qt::ToolTipRole);
    }
}

std::array<int, kChannelCount> MainDialog::AutoAssignedPorts() const {
    std::array<int, kChannelCount> ports{};
    for (int c = 0; c < kChannelCount; ++c) {
        // Auto locks the list of each channel it gives a port to.
        if (m_btnAuto->isChecked() && !m_cmbPort[c]->isEnabled()) {
            ports[c] = m_channelPort[c];
        }
    }
    return ports;
}

void MainDialog::ApplyPortSettings(const std::array<int, kChannelCount>& autoPorts) {
    m_btnAuto->setChecked(g_nAutoDetect != 0);
    const bool automatic = m_btnAuto->isChecked();
    for (int c = 0; c < kChannelCount; ++c) {
        SetChannelPort(c, automatic ? 0 : g_nSavedPort[c]);
    }
    EnableDownload(g_nAutoDetect == 0);
    if (!automatic) {
        return;
    }
    // Auto stays on: the channels it gave ports to keep them, announced already.
    for (int c = 0; c < kChannelCount; ++c) {
        if (autoPorts[c] != 0) {
            GiveAutoPort(c, autoPorts[c]);
        }
    }
    FillFromPresentPorts();
}

void MainDialog::FillFromPresentPorts() {
    if (m_hotPlug == nullptr) {
        return;  // at start-up the ports present arrive when watching begins
    }
    for (int com : m_hotPlug->Present()) {
        if (std::find(std::begin(m_channelPort), std::end(m_channelPort), com) ==
            std::end(m_channelPort)) {
            OnDeviceChange(PortChange::kArrival, QStringLiteral("COM%1").arg(com));
        }
    }
}

void MainDialog::GiveAutoPort(int channel, int com) {
    SetChannelPort(channel, com);
    // An automatically assigned channel keeps its port until the port goes away, Auto is
    // turned off or the console is reset.
    m_cmbPort[channel]->setEnabled(false);
    m_barChannel[channel]->SetText(QString::fromLatin1(kReadyText));
    EnableDownload(true);
}

void MainDialog::OnPortSelChange(int channel) {
    const int chosen = m_cmbPort[channel]->currentIndex();
    // Choosing the entry already selected changes nothing, as for any drop-down list: an
    // operator who opens the list and confirms the channel's own port must not find the
    // channel silently without one (the port is in use only by this channel).
    if (chosen == m_channelPort[channel]) {
        return;
    }
    bool taken = false;
    for (int port : m_channelPort) {
        taken = taken || port == chosen;
    }
    if (taken) {
        SetChannelPort(channel, 0);
        m_barChannel[channel]->SetText(QString());
    } else {
        m_channelPort[channel] = chosen;
    }
    bool anyPort = false;
    for (int port : m_channelPort) {
        anyPort = anyPort || port != 0;
    }
    EnableDownload(anyPort);
}

void MainDialog::OnAutoClicked() {
    if (m_running != 0) {
        return;  // the box keeps its state and governs arrivals after the run
    }
    if (m_btnAuto->isChecked()) {
        g_nAutoDetect = 1;
        for (int c = 0; c < kChannelCount; ++c) {
            SetChannelPort(c, 0);
            m_barChannel[c]->SetText(QString());
        }
        EnableDownload(false);
        FillFromPresentPorts();
    } else {
        g_nAutoDetect = 0;
        for (int c = 0; c < kChannelCount; ++c) {
            SetChannelPort(c, g_nSavedPort[c]);
            m_cmbPort[c]->setEnabled(true);
        }
        EnableDownload(true);
    }
}

void MainDialog::OnDeviceChange(PortChange::Kind kind, const QString& portName) {
    // Only COM ports take part; a name without a number would otherwise match the channels
    // that have no port (0).
    bool isNumber = false;
    const int n = portName.startsWith(QLatin1String("COM")) ? portName.mid(3).toInt(&isNumber) : 0;
    if (!isNumber || n <= 0) {
        return;
    }
    if (kind == PortChange::kRemoval) {
        LogAppend(QString::fromStdString(OPERATOR_DisconnectLine(n)));
        if (m_running != 0) {
            // The running engine took its ports at run start; the lists may have changed
            // since, so the channels to stop are those that run on the port that went away.
            for (int c = 0; c < kChannelCount; ++c) {
                if (m_runPort[c] == n) {
                    DOWNLOAD_StopChannel(c);
                }
            }
        }
        for (int c = 0; c < kChannelCount; ++c) {
            if (m_channelPort[c] == n) {
                SetChannelPort(c, 0);
                m_cmbPort[c]->setEnabled(true);
                if (m_running == 0) {
                    m_barChannel[c]->SetText(QString());
                }
                break;
            }
        }
        return;
    }

    if (m_running != 0 || !m_btnAuto->isChecked()) {
        return;
    }
    int target = -1;
    for (int c = 0; c < kChannelCount; ++c) {
        if (m_channelPort[c] != n) {
            continue;
        }
        if (target < 0) {
            target = c;
        } else {
            SetChannelPort(c, 0);
            m_cmbPort[c]->setEnabled(true);
            m_barChannel[c]->SetText(QString());
        }
    }
    for (int c = 0; c < kChannelCount && target < 0; ++c) {
        if (m_channelPort[c] == 0) {
            target = c;
        }
    }
    if (target < 0) {
        return;  // every channel holds a port
    }
    LogAppend(QString::fromStdString(OPERATOR_DetectLine(n)));
    GiveAutoPort(target, n);
}
