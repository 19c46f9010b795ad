// MainDialog: the program's one window on Linux, a Qt view of the console core
// (console/core/console_core.h), which holds every rule of the window. The dialog creates
// the controls from the template's table, forwards each operator action to the core's
// handler, and gives the core its controls by id (ConsoleView), its boxes and dialogs, the
// ports present and the engine's event path. Every member runs on the console thread.
//
// The port lists are filled and selected by the program, which emits
// QComboBox::currentIndexChanged; the operator's choices arrive through QComboBox::activated.
// Check boxes and buttons are connected through `clicked`, which setChecked does not emit,
// so the program's own changes never reach the handlers.
//
// Each control's objectName is its member name, followed by "_<index>" for the members that
// are arrays: "_<ImageSlot>" for image rows (m_chkImage_3, m_editAddress_1 .. _8),
// "_<ChannelId>" for channel rows (m_barChannel_7, m_cmbPort_0).
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <map>
#include <memory>

#include "console/core/console_core.h"
#include "console/qt/port_dir_watcher.h"
#include "core/channel_tables.h"
#include "core/engine_events.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class HexAddressEdit;
class HostWake;
class HotPlug;
class PercentBar;
class ReadOnlyTextEdit;

constexpr int kChannelCount = kConsoleChannels;

class MainDialog : public QDialog, public ConsoleView, public EngineWindow {
    Q_OBJECT

  public:
    // Builds the window and brings it into its starting state (ConsoleCore::Start), then
    // starts watching for ports: the ports present arrive in COM order.
    explicit MainDialog(QWidget* parent = nullptr);

    // Stores the settings and the profile, however the window was closed.
    ~MainDialog() override;

    ConsoleCore& Core() { return m_core; }
    const ConsoleCore& Core() const { return m_core; }

    // The address field of an ImageSlot (the read-only Code field for slot 0).
    QLineEdit* AddressField(int slot) const;

    // ConsoleView.
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    bool IsEnabled(int id) const override;
    void Enable(int id, bool enabled) override;
    void Hide(int id) override;
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override;
    void SetBarRange(int id, int lower, int upper) override;
    void SetBarPos(int id, int position) override;
    void FillList(int id, const std::vector<std::string>& entries) override;
    int GetSelection(int id) const override;
    void Select(int id, int index) override;
    void ShowLog(const std::string& log, const std::string& appended) override;
    void ShowNotice(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void ShowFileError(const std::string& text) override;
    std::string ChooseFile(FileKind kind, const std::string& filter,
                           const std::string& defaultExtension) override;
    EngineWindow* EventTarget() override { return this; }

    // EngineWindow: the engine's side of a run.
    int OnEngineMessage(int message, int code, const void* record) override;
    void PumpHostEvents() override;
    // Any thread: has the waiting engine events delivered on the console thread, in
    // whatever event loop it runs.
    void WakeHost() override;

  public slots:
    // Enter: the window stays open.
    void accept() override;
    // Escape, the close box and the window menu's Close.
    void reject() override;

  private:
    void CreateControls();
    void WidenCheckBoxes(int gap);
    void Connect();
    void StartHotPlug();
    // Remembers the device path behind a COM number and shows it on the lists' entries.
    void ShowPortPath(int com, const QString& devicePath);
    QWidget* ById(int id) const;
    PercentBar* Bar(int id) const;

    ConsoleCore m_core{this};
    std::map<int, QWidget*> m_controls;  // by template id
    QCheckBox* m_btnAuto = nullptr;
    QPushButton* m_btnDownload = nullptr;
    QPlainTextEdit* m_editLog = nullptr;
    QIcon m_hIcon;

    std::unique_ptr<HostWake> m_hostWake;
    std::map<int, QString> m_portPath;  // device path behind each present COM number
    std::unique_ptr<HotPlug> m_hotPlug;
    // Where the last file dialog was left; every file dialog opens there (the start-up
    // directory at first).
    QString m_lastFolder;
};
