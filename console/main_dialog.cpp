#include "console/main_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "console/address_edit.h"
#include "console/host_wake.h"
#include "console/hot_plug.h"
#include "console/image_slots.h"
#include "console/percent_bar.h"

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

}  // namespace

// The icon lives in a resource of this static library, which registers only when asked;
// the macro must stand outside any namespace.
static void LoadIconResources() {
    Q_INIT_RESOURCE(console);
}

MainDialog::MainDialog(QWidget* parent) : QDialog(parent, kWindowFlags) {
    LoadIconResources();
    m_hIcon.addFile(QStringLiteral(":/kovirw/icon16.png"), QSize(16, 16));
    m_hIcon.addFile(QStringLiteral(":/kovirw/icon32.png"), QSize(32, 32));

    setFont(DialogFont());
    CreateControls();
    ConnectPanel();
    ConnectRun();
    ConnectPorts();

    setWindowIcon(m_hIcon);
    for (PercentBar* bar : m_barImage) {
        bar->SetRange(0, 100);
        bar->SetPos(0);
    }
    setWindowTitle(
        QStringLiteral("Kovir Downloader [2.0K ZR05] (supports XR40-compatible terminals)"));
    ResetConsole();
    CONFIG_InitStartDir();
    m_lastFolder = PathText(g_szStartDir);
    ApplySettings(nullptr);
    HideDmbRow();
    StartHotPlug();
}

MainDialog::~MainDialog() {
    StoreSettings();
}

void MainDialog::HideDmbRow() {
    m_chkImage[kSlotDmb]->hide();
    m_barImage[kSlotDmb]->hide();
    m_btnBrowse[kSlotDmb]->hide();
    AddressField(kSlotDmb)->hide();
}

QLineEdit* MainDialog::AddressField(int slot) const {
    if (slot == kSlotMsmCode) {
        return m_editCodeAddress;
    }
    return m_editAddress[slot - 1];
}

void MainDialog::accept() {}

void MainDialog::reject() {
    // Closing during a run stops it first; the Download handler, still on the stack inside
    // the run, sees m_running cleared and does not stop it again.
    if (m_running != 0) {
        StopRun();
        m_running = 0;
    }
    QDialog::reject();
}
