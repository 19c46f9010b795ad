// Port assignment: which COM port each channel downloads through.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "console/main_dialog.h"

void MainDialog::ApplyPortSettings() {
    m_btnAuto->setChecked(g_nAutoDetect != 0);
    const bool automatic = m_btnAuto->isChecked();
    for (int c = 0; c < kChannelCount; ++c) {
        const int port = automatic ? 0 : g_nSavedPort[c];
        m_channelPort[c] = port;
        // A port beyond the list's entries is held all the same; the list then shows none.
        m_cmbPort[c]->setCurrentIndex(port >= 0 && port <= kPortListComCount ? port : -1);
    }
    m_btnDownload->setEnabled(g_nAutoDetect == 0);
}
