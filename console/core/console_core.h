// The rules of the main window, for every window that shows it (Qt on Linux, Win32 on
// Windows): start-up and close, the image panel with profile Load and Save As, applying and
// storing the settings, the Download button and its checks, what each engine event does to
// a channel bar and to the log, the console reset, and port assignment with hot-plug.
//
// The core owns the console's own state (run flag, port table, log) and reaches the
// controls only through its ConsoleView; the window calls the On... handler that matches
// each operator action or platform message. Everything runs on the console thread.
#pragma once

#include <string>

#include "console/core/console_view.h"
#include "console/core/control_ids.h"

constexpr int kPortListComCount = 30;  // a port list's entries: none, then COM1 to COM30

extern const char kBrowseFilters[kConsoleSlots][64];  // label|pattern| per ImageSlot
extern const char kProfileFilter[];                   // "Kovir Files(*.kvr)|*.kvr||"

// Copies `text` into a NUL-terminated field of `size` bytes, cut before a UTF-8 character
// that would not fit whole.
void CONSOLE_CopyToField(char* field, size_t size, const std::string& text);

class ConsoleCore {
  public:
    explicit ConsoleCore(ConsoleView* view) : m_view(view) {}
    ConsoleCore(const ConsoleCore&) = delete;
    ConsoleCore& operator=(const ConsoleCore&) = delete;

    // The window's initialisation once its controls exist: image bars at 0 of 0..100,
    // console reset, start-up directory captured, settings and profile applied, DMB row
    // hidden. The window sets its caption and icon itself.
    void Start();

    // Cancel (Escape, close box, window menu Close): stops a run in progress. The window
    // then closes and calls StoreSettings while its controls still exist.
    void Cancel();

    // Loads the settings and the profile (profilePath: nullptr = the one the settings name)
    // and puts them into the controls. A Load that leaves Auto on leaves every channel with
    // the port Auto gave it; ports that are present but did not arrive stay unassigned.
    void ApplySettings(const char* profilePath);
    // Port table, profile path field and address fields into the settings and the profile;
    // writes both files.
    void StoreSettings();

    void OnImageChecked(int slot);
    void OnBrowseImage(int slot);
    void OnChangeBootArea();
    void OnLoadProfile();
    void OnSaveProfileAs();

    // Port lists, port table, channel bars, Auto box, Download button, run flag and log into
    // their starting state.
    void ResetConsole();
    // Appends `text` as one line.
    void LogAppend(const std::string& text);

    // Checks the image selection, fills the engine's image table and runs a download on
    // every channel with a port; returns when the run has ended. Does nothing during a run.
    void OnDownload();
    // Shows one engine event on the channel bars and in the log. Returns 0.
    int OnEngineEvent(int code, const void* record);

    // The operator chose an entry of a channel's port list (the list already shows it).
    void OnPortSelChange(int channel);
    // The operator clicked the Auto box (it already shows its new state).
    void OnAutoClicked();
    enum class PortEvent { kArrival, kRemoval };
    // A port came or went; only names "COM<n>" with n > 0 count.
    void OnDeviceChange(PortEvent event, const std::string& portName);

    int ChannelPort(int channel) const { return m_channelPort[channel]; }
    bool Running() const { return m_running != 0; }
    const std::string& LogText() const { return m_logText; }
    // How often a run was stopped (DOWNLOAD_Stop), by the Download button or a close.
    int RunStops() const { return m_runStops; }

  private:
    bool ChooseProfilePath(ConsoleView::FileKind kind);
    std::string ChooseFile(ConsoleView::FileKind kind, const std::string& filter,
                           const std::string& defaultExtension);
    void StopRun();
    void EnableDownload(bool enabled);
    void LockPanelForRun(bool locked);
    void ShowOnBar(int channel, const std::string& text, int upper, int position);
    void SetChannelPort(int channel, int port);
    void GiveAutoPort(int channel, int com);
    void ApplyPortSettings(const int autoPorts[kConsoleChannels]);

    ConsoleView* m_view;
    int m_running = 0;
    int m_channelPort[kConsoleChannels] = {};
    std::string m_logText;
    int m_runPort[kConsoleChannels] = {};  // the ports the running engine took at run start
    int m_runStops = 0;
};
