// MainWindow: the program's one window on Windows, a dialog made from the resource template
// IDD_MAIN and a Win32 view of the console core (console/core/console_core.h), which holds
// every rule of the window. The window forwards each operator action and platform message to
// the core's handler and gives the core its controls by id, its message boxes and file
// dialogs, the ports the system lists and the engine's event path.
//
// Engine events: a worker that queued an event posts the window's own message,
// WM_ENGINE_EVENT with no event code, and the window delivers the queued events when it
// handles that message, so they arrive in any message loop the window thread runs (the
// run's own, a message box's, a file dialog's). A WM_ENGINE_EVENT with a code (1 to 5) and
// a record is shown as it comes.
//
// Window thread only, except WakeHost.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "console/core/console_core.h"
#include "console/win32/win32_controls.h"
#include "core/engine_events.h"

class MainWindow : public ConsoleView, public EngineWindow {
  public:
    MainWindow() = default;
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The program: runs the window modally until it is closed.
    void RunModal(HINSTANCE instance);
    // Tests: creates the window without a modal loop of its own and returns its handle
    // (nullptr when the template cannot be loaded). A close hides the window and destroys
    // it as soon as no handler runs; the object must outlive the window.
    HWND CreateModeless(HINSTANCE instance);

    HWND Handle() const { return m_window; }
    ConsoleCore& Core() { return m_core; }
    const ConsoleCore& Core() const { return m_core; }
    // The percent bar with template id `id` (image or channel bar).
    const PercentBar& Bar(int id) const;

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

    // EngineWindow.
    int OnEngineMessage(int message, int code, const void* record) override;
    void PumpHostEvents() override;
    void WakeHost() override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id, int code);
    void OnDeviceChange(WPARAM event, LPARAM data);
    void AddPortTips(HINSTANCE instance);
    static LRESULT CALLBACK PortListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    void OnPortTip(NMHDR* header);
    void OnCancel();
    void OnPaint();
    int Box(const std::string& text, UINT type);
    HWND Item(int id) const { return GetDlgItem(m_window, id); }

    HWND m_window = nullptr;
    std::atomic<HWND> m_wakeTarget{nullptr};  // where workers post; cleared at the end
    bool m_modal = false;
    int m_depth = 0;         // handlers of this window on the stack
    bool m_closing = false;  // a modeless close waits for the handlers to return
    bool m_stored = false;   // the settings were stored at the window's end
    HICON m_hIcon = nullptr;
    HICON m_hIconSmall = nullptr;
    HWND m_portTips = nullptr;  // the port lists' tooltips
    int m_tipEntry = -1;        // the open list's entry under the mouse
    std::wstring m_tipText;     // the text of the tip being shown
    std::map<int, std::unique_ptr<PercentBar>> m_bars;
    ConsoleCore m_core{this};
};
