// MainDialog: the program's one window. It holds the profile row, the nine image rows,
// the eight channel rows (port list and progress bar), the log and the Download button.
//
// The window's work is split by subject across several source files, all members of this
// class: main_dialog.cpp (start-up, Cancel, close), main_dialog_layout.cpp (the controls and
// their places), main_dialog_panel.cpp (image selection, profile Load and Save As, applying
// and storing the settings), main_dialog_reset.cpp (console reset and log),
// main_dialog_ports.cpp (port settings). Every member runs on the console thread.
//
// The port lists are filled and selected by the program (ResetConsole, ApplyPortSettings),
// which emits QComboBox::currentIndexChanged; a handler of the operator's choices belongs on
// QComboBox::activated. Check boxes and buttons are connected through `clicked`, which
// setChecked does not emit, so the program's own changes never reach the handlers.
//
// Each control's objectName is its member name, followed by "_<index>" for the members that
// are arrays: "_<ImageSlot>" for image rows (m_chkImage_3, m_editAddress_1 .. _8),
// "_<ChannelId>" for channel rows (m_barChannel_7, m_cmbPort_0).
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>
#include <map>
#include <memory>

#include "config/profile.h"
#include "config/settings.h"
#include "console/file_dialog.h"
#include "console/port_dir_watcher.h"
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

constexpr int kChannelCount = CHANNEL_COUNT;

// The entries of a port list: index 0 is "no port", index n is COM n.
constexpr int kPortListComCount = 30;

class MainDialog : public QDialog, public EngineWindow {
    Q_OBJECT

  public:
    // Builds the window and brings it into its starting state: console reset, start-up
    // directory captured, settings and profile loaded into the controls, DMB row hidden;
    // then starts watching for ports, and the ports present arrive in COM order.
    explicit MainDialog(QWidget* parent = nullptr);

    // Stores the settings and the profile, however the window was closed.
    ~MainDialog() override;

    // Loads the settings and the profile (profilePath: nullptr = the one the settings name)
    // and puts them into the controls.
    void ApplySettings(const char* profilePath);

    // Takes the port table, the profile path field and the address fields into the
    // settings and the profile, and writes both files.
    void StoreSettings();

    void OnImageChecked(int slot);
    void OnBrowseImage(int slot);
    void OnChangeBootArea();
    void OnLoadProfile();
    void OnSaveProfileAs();

    // Brings the port lists, port table, channel bars, Auto box, Download button, run flag
    // and log into their starting state.
    void ResetConsole();

    // Appends `text` as one line to the log and shows the log's end. A channel summary
    // (a text with "소요") is framed so that it stands out.
    void LogAppend(const QString& text);

    // Ports that Auto gave to channels, by channel (0 for the others, and for all when Auto
    // is off).
    std::array<int, kChannelCount> AutoAssignedPorts() const;
    // Auto box, port table, port lists and Download button from the loaded settings. With
    // Auto on, the channels in autoPorts keep those ports without a new log line, and the
    // ports present that no channel holds then fill the free channels in COM order, as
    // arrivals do.
    void ApplyPortSettings(const std::array<int, kChannelCount>& autoPorts);

    // The Download button: checks the image selection, fills the engine's image table and
    // runs a download on every channel with a port; returns when the run has ended.
    void OnDownload();

    // Shows one engine event on the channel bars and in the log. Returns 0.
    int OnEngineEvent(int code, const void* record);

    // The operator chose an entry of channel `channel`'s port list.
    void OnPortSelChange(int channel);
    // The operator clicked the Auto box.
    void OnAutoClicked();
    // A port came or went; portName is "COM<n>" (other names are ignored).
    void OnDeviceChange(PortChange::Kind kind, const QString& portName);

    // EngineWindow: the engine's side of a run.
    int OnEngineMessage(int message, int code, const void* record) override;
    void PumpHostEvents() override;
    // Any thread: has the waiting engine events delivered on the console thread, in
    // whatever event loop it runs.
    void WakeHost() override;

    // The address field of an ImageSlot (the read-only Code field for slot 0).
    QLineEdit* AddressField(int slot) const;

    int ChannelPort(int channel) const { return m_channelPort[channel]; }
    bool Running() const { return m_running != 0; }
    const QString& LogText() const { return m_logText; }
    // How often this window has stopped a run (DOWNLOAD_Stop), by Download or by a close.
    int RunStops() const { return m_runStops; }

  public slots:
    // Enter: the window stays open.
    void accept() override;
    // Escape, the close box and the window menu's Close.
    void reject() override;

  private:
    void CreateControls();
    void WidenCheckBoxes(int gap);
    void ConnectPanel();
    void HideDmbRow();
    // Asks for a profile file; a chosen one becomes the profile path, in g_szProfilePath and
    // in the path field. Returns false for a cancel.
    bool ChooseProfilePath(FileDialogRequest::Kind kind);
    // Writes the values bound to controls (the log text) into the controls.
    void UpdateControls();

    void ConnectRun();
    void ConnectPorts();
    void StartHotPlug();
    // Ends the run: DOWNLOAD_Stop, counted.
    void StopRun();
    // Gives each port present that no channel holds to the lowest free channel, in COM
    // order, as if it arrived now: whenever Auto becomes effective.
    void FillFromPresentPorts();
    // The channel takes the port as Auto gives it: list locked, "Ready...", Download enabled.
    void GiveAutoPort(int channel, int com);
    // Enables the Download button when `enabled`, except during a run.
    void EnableDownload(bool enabled);
    // Disables, or enables again after a run, what must not change under running workers.
    void LockPanelForRun(bool locked);
    // Text first, then range 0..upper, then position, as every bar update does.
    void ShowOnBar(int channel, const QString& text, int upper, int position);
    // Channel's port table entry and list selection (a port without entry shows none).
    void SetChannelPort(int channel, int port);
    // Remembers the device path behind a COM number and shows it on the lists' entries.
    void ShowPortPath(int com, const QString& devicePath);

    int m_running = 0;
    int m_channelPort[kChannelCount] = {};
    QCheckBox* m_btnAuto = nullptr;
    QPushButton* m_btnSaveAs = nullptr;
    QPushButton* m_btnLoad = nullptr;
    QCheckBox* m_btnChangeBoot = nullptr;
    QCheckBox* m_chkImage[PROFILE_SLOT_COUNT] = {};
    QPushButton* m_btnBrowse[PROFILE_SLOT_COUNT] = {};
    QPushButton* m_btnDownload = nullptr;
    QLineEdit* m_editProfilePath = nullptr;
    ReadOnlyTextEdit* m_editCodeAddress = nullptr;
    HexAddressEdit* m_editAddress[PROFILE_SLOT_COUNT - 1] = {};  // ImageSlots 1 to 8
    PercentBar* m_barImage[PROFILE_SLOT_COUNT] = {};
    PercentBar* m_barChannel[kChannelCount] = {};
    QComboBox* m_cmbPort[kChannelCount] = {};
    QString m_logText;
    QPlainTextEdit* m_editLog = nullptr;
    QIcon m_hIcon;

    int m_runPort[kChannelCount] = {};  // the ports the running engine took at run start
    int m_runStops = 0;
    std::unique_ptr<HostWake> m_hostWake;
    std::map<int, QString> m_portPath;  // device path behind each present COM number
    std::unique_ptr<HotPlug> m_hotPlug;
    // Where the last file dialog was left; every file dialog opens there (the start-up
    // directory at first).
    QString m_lastFolder;
};
