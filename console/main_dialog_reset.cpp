// The console's starting state and the log.
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "console/main_dialog.h"
#include "console/percent_bar.h"

namespace {

const char kBlankPortEntry[] = "-----------";

}  // namespace

void MainDialog::ResetConsole() {
    for (int c = 0; c < kChannelCount; ++c) {
        QComboBox* list = m_cmbPort[c];
        list->clear();
        list->addItem(QString::fromLatin1(kBlankPortEntry));
        for (int n = 1; n <= kPortListComCount; ++n) {
            list->addItem(QStringLiteral("COM%1").arg(n));
        }
        m_channelPort[c] = 0;
        list->setEnabled(true);
        list->setCurrentIndex(0);
        m_barChannel[c]->SetText(QString());
    }
    m_btnAuto->setChecked(true);
    m_btnDownload->setEnabled(false);
    m_running = 0;
    m_logText = QStringLiteral("Initialize.. ok!\r\n");
    UpdateControls();
}

void MainDialog::LogAppend(const QString& text) {
    QString line = text;
    const QString duration = QStringLiteral("소요");
    const int at = line.indexOf(duration);
    if (at >= 0) {
        // A channel summary: say it is the whole time and frame it with arrows.
        line.insert(at, QStringLiteral("전체 "));
        line = QStringLiteral(">>>>>>>>>>  총 ") + line + QStringLiteral("  <<<<<<<<<<");
    }
    m_logText += line;
    m_logText += QStringLiteral("\r\n");
    UpdateControls();
    QScrollBar* scroll = m_editLog->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void MainDialog::UpdateControls() {
    // The log keeps CRLF line ends, as its texts are written; the field shows lines.
    QString shown = m_logText;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_editLog->setPlainText(shown);
}
