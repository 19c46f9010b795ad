#include "console/qt/main_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include "config/profile.h"
#include "console/core/dialog_layout.h"
#include "console/qt/address_edit.h"
#include "console/qt/file_dialog.h"
#include "console/qt/host_wake.h"
#include "console/qt/hot_plug.h"
#include "console/qt/message_box.h"
#include "console/qt/path_text.h"
#include "console/qt/percent_bar.h"
#include "engine/download.h"

namespace {

// The dialog font: the desktop's own typeface at 9 points. All dialog units derive from it.
QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(9);
    return font;
}

// Title bar with window menu, minimise and close; no maximise, no resizing. A normal window
// rather than a dialog, so that window managers give it a taskbar entry and let it minimise.
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// The log keeps CRLF line ends, as its texts are written; the field shows them as lines.
QString ShownText(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

// The icon lives in a resource of this static library, which registers only when asked;
// the macro must stand outside any namespace.
static void LoadIconResources() { Q_INIT_RESOURCE(console); }

MainDialog::MainDialog(QWidget* parent) : QDialog(parent, kWindowFlags) {
    LoadIconResources();
    m_hIcon.addFile(QStringLiteral(":/kovirw/icon16.png"), QSize(16, 16));
    m_hIcon.addFile(QStringLiteral(":/kovirw/icon32.png"), QSize(32, 32));

    setFont(DialogFont());
    CreateControls();
    Connect();
    setWindowIcon(m_hIcon);
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    m_core.Start();
    m_lastFolder = PathText(g_szStartDir);
    StartHotPlug();
}

MainDialog::~MainDialog() { m_core.StoreSettings(); }

void MainDialog::accept() {}

void MainDialog::reject() {
    m_core.Cancel();
    QDialog::reject();
}

QWidget* MainDialog::ById(int id) const {
    const auto found = m_controls.find(id);
    if (found == m_controls.end()) {
        qFatal("the window has no control %d", id);
    }
    return found->second;
}

PercentBar* MainDialog::Bar(int id) const { return qobject_cast<PercentBar*>(ById(id)); }

QLineEdit* MainDialog::AddressField(int slot) const {
    return qobject_cast<QLineEdit*>(ById(kAddressId[slot]));
}

bool MainDialog::IsChecked(int id) const { return qobject_cast<QCheckBox*>(ById(id))->isChecked(); }

void MainDialog::SetChecked(int id, bool checked) {
    qobject_cast<QCheckBox*>(ById(id))->setChecked(checked);
}

bool MainDialog::IsEnabled(int id) const { return ById(id)->isEnabled(); }

void MainDialog::Enable(int id, bool enabled) { ById(id)->setEnabled(enabled); }

void MainDialog::Hide(int id) { ById(id)->hide(); }

std::string MainDialog::GetText(int id) const {
    return PathBytes(qobject_cast<QLineEdit*>(ById(id))->text()).toStdString();
}

void MainDialog::SetText(int id, const std::string& text) {
    if (PercentBar* bar = Bar(id)) {
        bar->SetText(PathText(text.c_str()));
    } else {
        qobject_cast<QLineEdit*>(ById(id))->setText(PathText(text.c_str()));
    }
}

void MainDialog::SetBarRange(int id, int lower, int upper) { Bar(id)->SetRange(lower, upper); }

void MainDialog::SetBarPos(int id, int position) { Bar(id)->SetPos(position); }

void MainDialog::FillList(int id, const std::vector<std::string>& entries) {
    auto* list = qobject_cast<QComboBox*>(ById(id));
    list->clear();
    for (const std::string& entry : entries) {
        list->addItem(QString::fromStdString(entry));
    }
    for (const auto& [com, path] : m_portPath) {
        if (com < list->count()) {
            list->setItemData(com, path, Qt::ToolTipRole);
        }
    }
}

int MainDialog::GetSelection(int id) const {
    return qobject_cast<QComboBox*>(ById(id))->currentIndex();
}

void MainDialog::Select(int id, int index) {
    qobject_cast<QComboBox*>(ById(id))->setCurrentIndex(index);
}

void MainDialog::ShowLog(const std::string& log, const std::string& appended) {
    if (appended.empty()) {
        m_editLog->setPlainText(ShownText(log));
        return;
    }
    // The field already shows everything before the new line: adding it alone keeps a long
    // log cheap to extend, with the same result as writing the whole text again.
    QTextCursor end(m_editLog->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ShownText(appended));
    QScrollBar* scroll = m_editLog->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void MainDialog::ShowNotice(const std::string& text) { ::ShowNotice(this, PathText(text.c_str())); }

bool MainDialog::AskYesNo(const std::string& text) {
    return ::AskYesNo(this, QString::fromStdString(text));
}

void MainDialog::ShowFileError(const std::string& text) {
    ::ShowFileError(this, QString::fromStdString(text));
}

std::string MainDialog::ChooseFile(FileKind kind, const std::string& filter,
                                   const std::string& defaultExtension) {
    const QString suffix =
        defaultExtension == "*" ? QString() : QString::fromStdString(defaultExtension);
    const QString path = ::ChooseFile(
        this, kind == FileKind::kSave ? FileDialogRequest::kSave : FileDialogRequest::kOpen,
        QString::fromStdString(filter), suffix, &m_lastFolder);
    return PathBytes(path).toStdString();
}

int MainDialog::OnEngineMessage(int message, int code, const void* record) {
    return message == WM_ENGINE_EVENT ? m_core.OnEngineEvent(code, record) : 0;
}

void MainDialog::PumpHostEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void MainDialog::WakeHost() { m_hostWake->Wake(); }

void MainDialog::Connect() {
    connect(m_btnDownload, &QPushButton::clicked, this, [this] { m_core.OnDownload(); });
    // Events also reach the window while the console thread sits in an event loop other
    // than the run's own, such as a modal box's.
    m_hostWake = std::make_unique<HostWake>([] { DOWNLOAD_DeliverEvents(); });

    const auto clicked = [this](int id, auto handler) {
        connect(qobject_cast<QAbstractButton*>(ById(id)), &QAbstractButton::clicked, this, handler);
    };
    clicked(IDC_LOAD, [this] { m_core.OnLoadProfile(); });
    clicked(IDC_SAVE_AS, [this] { m_core.OnSaveProfileAs(); });
    clicked(IDC_CHANGE_BOOT, [this] { m_core.OnChangeBootArea(); });
    clicked(IDC_AUTO, [this] { m_core.OnAutoClicked(); });
    for (int s = 0; s < kConsoleSlots; ++s) {
        clicked(kCheckId[s], [this, s] { m_core.OnImageChecked(s); });
        clicked(kBrowseId[s], [this, s] { m_core.OnBrowseImage(s); });
    }
    for (int c = 0; c < kChannelCount; ++c) {
        connect(qobject_cast<QComboBox*>(ById(kPortListId[c])), &QComboBox::activated, this,
                [this, c] { m_core.OnPortSelChange(c); });
    }
}

void MainDialog::StartHotPlug() {
    m_hotPlug = std::make_unique<HotPlug>(
        [this](PortChange::Kind kind, int com, const QString& devicePath) {
            ShowPortPath(com, devicePath);
            m_core.OnDeviceChange(kind == PortChange::kArrival ? ConsoleCore::PortEvent::kArrival
                                                               : ConsoleCore::PortEvent::kRemoval,
                                  "COM" + std::to_string(com));
        });
    m_hotPlug->Start();
    for (const auto& [com, devicePath] : m_hotPlug->Present()) {
        ShowPortPath(com, devicePath);
    }
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
    for (int id : kPortListId) {
        qobject_cast<QComboBox*>(ById(id))->setItemData(
            com, devicePath.isEmpty() ? QVariant() : QVariant(devicePath), Qt::ToolTipRole);
    }
}
