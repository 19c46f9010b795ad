// The console's starting state and the log.
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include "console/main_dialog.h"
#include "console/operator_text.h"
#include "console/percent_bar.h"

namespace {

const char kBlankPortEntry[] = "-----------";

// The log keeps CRLF line ends, as its texts are written; the field shows them as lines.
QString ShownText(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace

void MainDialog::ResetConsole() {
    for (int c = 0; c < kChannelCount; ++c) {
        QComboBox* list = m_cmbPort[c];
        list->clear();
        list->addItem(QString::fromLatin1(kBlankPortEntry));
        for (int n = 1; n <= kPortListComCount; ++n) {
            list->addItem(QStringLiteral("COM%1").arg(n));
        }
        for (const auto& [com, path] : m_portPath) {
            if (com <= kPortListComCount) {
                list->setItemData(com, path, Qt::ToolTipRole);
            }
        }
        m_channelPort[c] = 0;
        list->setEnabled(true);
        list->setCurrentIndex(0);
        m_barChannel[c]->SetText(QString());
    }
    m_btnAuto->setChecked(true);
    m_btnDownload->setEnabled(false);
    m_running = 0;
    m_logText = QString::fromUtf8(OPERATOR_LogStart) + QStringLiteral("\r\n");
    UpdateControls();
}

void MainDialog::LogAppend(const QString& text) {
    // A channel summary (a text with "소요") is framed so that it stands out.
    QString line = QString::fromStdString(OPERATOR_LogLine(text.toStdString()));
    line += QStringLiteral("\r\n");
    m_logText += line;
    // The field already shows everything before this line: adding the line alone keeps a
    // long log cheap to extend, with the same result as writing the whole text again.
    QTextCursor end(m_editLog->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ShownText(line));
    QScrollBar* scroll = m_editLog->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void MainDialog::UpdateControls() {
    m_editLog->setPlainText(ShownText(m_logText));
}
