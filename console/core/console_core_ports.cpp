// Port assignment: which COM port each channel downloads through, chosen by hand in the
// port lists or taken automatically as ports arrive; removals free their channel, and during
// a run stop it.
#include <algorithm>

#include "config/settings.h"
#include "console/core/console_core.h"
#include "console/core/operator_text.h"
#include "engine/download.h"
#include "serial/port_directory.h"

namespace {

const char kReadyText[] = "Ready...";

}  // namespace

void ConsoleCore::SetChannelPort(int channel, int port) {
    m_channelPort[channel] = port;
    // A port beyond the list's entries is held all the same; the list then shows none.
    m_view->Select(kPortListId[channel], port >= 0 && port <= kPortListComCount ? port : -1);
}

void ConsoleCore::ApplyPortSettings(const int autoPorts[kConsoleChannels]) {
    m_view->SetChecked(IDC_AUTO, g_nAutoDetect != 0);
    const bool automatic = m_view->IsChecked(IDC_AUTO);
    for (int c = 0; c < kConsoleChannels; ++c) {
        SetChannelPort(c, automatic ? 0 : g_nSavedPort[c]);
    }
    EnableDownload(g_nAutoDetect == 0);
    if (!automatic) {
        return;
    }
    // Auto stays on: the channels it gave ports to keep them, announced already. Ports
    // that are merely present are left alone: on a real PC they include built-in, Bluetooth
    // and modem ports, and only a port that arrives is a terminal.
    for (int c = 0; c < kConsoleChannels; ++c) {
        if (autoPorts[c] != 0) {
            GiveAutoPort(c, autoPorts[c]);
        }
    }
}

void ConsoleCore::GiveAutoPort(int channel, int com) {
    SetChannelPort(channel, com);
    // An automatically assigned channel keeps its port until the port goes away, Auto is
    // turned off or the console is reset.
    m_view->Enable(kPortListId[channel], false);
    m_view->SetText(kChannelBarId[channel], kReadyText);
    EnableDownload(true);
}

void ConsoleCore::OnPortSelChange(int channel) {
    const int chosen = m_view->GetSelection(kPortListId[channel]);
    // Choosing the entry already selected changes nothing, as for any drop-down list: an
    // operator who opens the list and confirms the channel's own port must not find the
    // channel silently without one (the port is in use only by this channel).
    if (chosen == m_channelPort[channel] || chosen < 0) {
        return;
    }
    const bool taken = std::find(std::begin(m_channelPort), std::end(m_channelPort), chosen) !=
                       std::end(m_channelPort);
    if (taken) {
        SetChannelPort(channel, 0);
        m_view->SetText(kChannelBarId[channel], std::string());
    } else {
        m_channelPort[channel] = chosen;
    }
    const bool anyPort = std::any_of(std::begin(m_channelPort), std::end(m_channelPort),
                                     [](int port) { return port != 0; });
    EnableDownload(anyPort);
}

void ConsoleCore::OnAutoClicked() {
    if (m_running != 0) {
        return;  // the box keeps its state and governs arrivals after the run
    }
    if (m_view->IsChecked(IDC_AUTO)) {
        g_nAutoDetect = 1;
        for (int c = 0; c < kConsoleChannels; ++c) {
            SetChannelPort(c, 0);
            m_view->SetText(kChannelBarId[c], std::string());
        }
        EnableDownload(false);  // until a port arrives
    } else {
        g_nAutoDetect = 0;
        for (int c = 0; c < kConsoleChannels; ++c) {
            SetChannelPort(c, g_nSavedPort[c]);
            m_view->Enable(kPortListId[c], true);
        }
        EnableDownload(true);
    }
}

void ConsoleCore::OnDeviceChange(PortEvent event, const std::string& portName) {
    const int n = PORT_DIRECTORY_ParseName(portName.c_str());
    if (n <= 0) {
        return;
    }
    if (event == PortEvent::kRemoval) {
        LogAppend(OPERATOR_DisconnectLine(n));
        if (m_running != 0) {
            // The running engine took its ports at run start; the lists may have changed
            // since, so the channels to stop are those that run on the port that went away.
            for (int c = 0; c < kConsoleChannels; ++c) {
                if (m_runPort[c] == n) {
                    DOWNLOAD_StopChannel(c);
                }
            }
        }
        for (int c = 0; c < kConsoleChannels; ++c) {
            if (m_channelPort[c] == n) {
                SetChannelPort(c, 0);
                m_view->Enable(kPortListId[c], true);
                if (m_running == 0) {
                    m_view->SetText(kChannelBarId[c], std::string());
                }
                break;
            }
        }
        return;
    }

    if (m_running != 0 || !m_view->IsChecked(IDC_AUTO)) {
        return;
    }
    int target = -1;
    for (int c = 0; c < kConsoleChannels; ++c) {
        if (m_channelPort[c] != n) {
            continue;
        }
        if (target < 0) {
            target = c;
        } else {
            SetChannelPort(c, 0);
            m_view->Enable(kPortListId[c], true);
            m_view->SetText(kChannelBarId[c], std::string());
        }
    }
    for (int c = 0; c < kConsoleChannels && target < 0; ++c) {
        if (m_channelPort[c] == 0) {
            target = c;
        }
    }
    if (target < 0) {
        return;  // every channel holds a port
    }
    LogAppend(OPERATOR_DetectLine(n));
    GiveAutoPort(target, n);
}
