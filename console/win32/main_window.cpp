#include "console/win32/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#include <cwchar>

#include "config/profile.h"
#include "console/core/dialog_layout.h"
#include "console/win32/main_window_testing.h"
#include "core/utf16_win32.h"
#include "engine/download.h"
#include "serial/port_directory.h"

namespace {

MessageBoxHook& BoxHook() {
    static MessageBoxHook hook;
    return hook;
}

FileDialogHook& DialogHook() {
    static FileDialogHook hook;
    return hook;
}

// Window texts are UTF-16; the core's are UTF-8. Bytes that are not UTF-8 (which the
// configuration never hands on, on Windows) show as U+FFFD rather than as nothing.
std::wstring Wide(const std::string& text) {
    std::wstring wide;
    if (UTF16_FromUtf8(text, &wide)) {
        return wide;
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    wide.assign(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The caption of every message box: the program's file name without its extension.
std::wstring ProgramName() {
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        name.erase(0, slash + 1);
    }
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

}  // namespace

void WIN32_SetMessageBoxHook(MessageBoxHook hook) { BoxHook() = std::move(hook); }

void WIN32_SetFileDialogHook(FileDialogHook hook) { DialogHook() = std::move(hook); }

MainWindow::~MainWindow() {
    if (m_window != nullptr && IsWindow(m_window)) {
        DestroyWindow(m_window);
    }
}

void MainWindow::RunModal(HINSTANCE instance) {
    m_modal = true;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                    reinterpret_cast<LPARAM>(this));
}

HWND MainWindow::CreateModeless(HINSTANCE instance) {
    m_modal = false;
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<MainWindow*>(lParam)->m_window = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    ++self->m_depth;
    const INT_PTR result = self->OnMessage(message, wParam, lParam);
    --self->m_depth;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_window = nullptr;
    } else if (self->m_closing && self->m_depth == 0) {
        // A modeless close waited until the run's handler (Download) had returned.
        self->m_closing = false;
        DestroyWindow(window);
    }
    return result;
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;  // the platform gives the focus to the first tab stop
        case WM_ENGINE_EVENT:
            if (wParam == 0) {
                DOWNLOAD_DeliverEvents();
            } else {
                m_core.OnEngineEvent(static_cast<int>(wParam),
                                     reinterpret_cast<const void*>(lParam));
            }
            SetWindowLongPtrW(m_window, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_DEVICECHANGE:
            OnDeviceChange(wParam, lParam);
            return FALSE;  // then the default processing, whose result stands
        case WM_NOTIFY:
            OnPortTip(reinterpret_cast<NMHDR*>(lParam));
            return FALSE;
        case WM_PAINT:
            if (!IsIconic(m_window)) {
                return FALSE;
            }
            OnPaint();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_DESTROY:
            // Every close stores the settings, while the controls still exist.
            m_wakeTarget.store(nullptr);
            if (!m_stored) {
                m_stored = true;
                m_core.StoreSettings();
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void MainWindow::OnInitDialog() {
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(m_window, GWLP_HINSTANCE));
    m_hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), LR_SHARED));
    m_hIconSmall = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));

    for (const int* ids : {kImageBarId, kChannelBarId}) {
        const int count = ids == kImageBarId ? kConsoleSlots : kConsoleChannels;
        for (int i = 0; i < count; ++i) {
            auto bar = std::make_unique<PercentBar>();
            bar->Attach(Item(ids[i]));
            m_bars[ids[i]] = std::move(bar);
        }
    }
    WIN32_AttachReadOnlyTextEdit(Item(IDC_ADDRESS_0));
    for (int s = 0; s < kConsoleSlots; ++s) {
        if (s > 0) {
            WIN32_AttachHexAddressEdit(Item(kAddressId[s]));
        }
        SendMessageW(Item(kAddressId[s]), EM_SETLIMITTEXT, CONFIG_MAX_ADDRESS, 0);
    }
    SendMessageW(Item(IDC_PROFILE_PATH), EM_SETLIMITTEXT, MAX_PATH, 0);
    SendMessageW(Item(IDC_LOG), EM_SETLIMITTEXT, 0, 0);  // the log grows for the window's life
    SetWindowTextW(m_window, Wide(kWindowCaption).c_str());
    AddPortTips(instance);
    m_wakeTarget.store(m_window);
    m_core.Start();
}

void MainWindow::OnCommand(int id, int code) {
    if (id == IDOK) {
        return;  // Enter leaves the window open
    }
    if (id == IDCANCEL) {
        OnCancel();
        return;
    }
    for (int c = 0; c < kConsoleChannels; ++c) {
        if (id == kPortListId[c]) {
            // Only the operator's choices: CB_SETCURSEL sends no notification.
            if (code == CBN_SELCHANGE) {
                m_core.OnPortSelChange(c);
            }
            return;
        }
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_DOWNLOAD:
            m_core.OnDownload();
            return;
        case IDC_LOAD:
            m_core.OnLoadProfile();
            return;
        case IDC_SAVE_AS:
            m_core.OnSaveProfileAs();
            return;
        case IDC_CHANGE_BOOT:
            m_core.OnChangeBootArea();
            return;
        case IDC_AUTO:
            m_core.OnAutoClicked();
            return;
        default:
            break;
    }
    for (int s = 0; s < kConsoleSlots; ++s) {
        if (id == kCheckId[s]) {
            m_core.OnImageChecked(s);
        } else if (id == kBrowseId[s]) {
            m_core.OnBrowseImage(s);
        }
    }
}

void MainWindow::OnCancel() {
    m_core.Cancel();
    if (m_modal) {
        EndDialog(m_window, IDCANCEL);
        return;
    }
    ShowWindow(m_window, SW_HIDE);
    m_closing = true;
}

void MainWindow::OnDeviceChange(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_PORT) {
        return;
    }
    // The name ends at its terminator or at the end of the record, whichever comes first.
    const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(data);
    const size_t offset = offsetof(DEV_BROADCAST_PORT_W, dbcp_name);
    const size_t room =
        header->dbch_size > offset ? (header->dbch_size - offset) / sizeof(wchar_t) : 0;
    const std::wstring name(port->dbcp_name, wcsnlen(port->dbcp_name, room));
    m_core.OnDeviceChange(event == DBT_DEVICEARRIVAL ? ConsoleCore::PortEvent::kArrival
                                                     : ConsoleCore::PortEvent::kRemoval,
                          UTF16_ToUtf8(name));
}

// Each port list, and the drop-down of its entries, shows the device of a port as a tooltip:
// the entry chosen over the closed list, the entry under the mouse over the open one. The
// text is asked for when the tip shows, so it follows the ports as they come and go.
void MainWindow::AddPortTips(HINSTANCE instance) {
    m_portTips =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr, instance, nullptr);
    if (m_portTips == nullptr) {
        return;  // the lists work without tips
    }
    const auto addTool = [this](HWND tool) {
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the control
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = m_window;
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        info.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(m_portTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    };
    for (int id : kPortListId) {
        addTool(Item(id));
        COMBOBOXINFO combo{};
        combo.cbSize = sizeof combo;
        if (GetComboBoxInfo(Item(id), &combo) && combo.hwndList != nullptr) {
            addTool(combo.hwndList);
            SetWindowSubclass(combo.hwndList, PortListProc, 0, reinterpret_cast<DWORD_PTR>(this));
        }
    }
}

// The open list's tip is taken down when the mouse moves to another entry, so that the next
// one asks for that entry's device.
LRESULT CALLBACK MainWindow::PortListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MainWindow*>(data);
    if (message == WM_MOUSEMOVE) {
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, lParam);
        const int entry = HIWORD(hit) == 0 ? LOWORD(hit) : -1;
        if (entry != self->m_tipEntry) {
            self->m_tipEntry = entry;
            SendMessageW(self->m_portTips, TTM_POP, 0, 0);
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(list, PortListProc, 0);
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void MainWindow::OnPortTip(NMHDR* header) {
    if (header == nullptr || header->code != TTN_GETDISPINFOW) {
        return;
    }
    const HWND tool = reinterpret_cast<HWND>(header->idFrom);
    LRESULT entry = CB_ERR;
    wchar_t className[16] = {};
    GetClassNameW(tool, className, 16);
    if (std::wcscmp(className, L"ComboBox") == 0) {
        entry = SendMessageW(tool, CB_GETCURSEL, 0, 0);
    } else {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(tool, &cursor);
        const LRESULT hit = SendMessageW(tool, LB_ITEMFROMPOINT, 0, MAKELPARAM(cursor.x, cursor.y));
        entry = HIWORD(hit) == 0 ? LOWORD(hit) : CB_ERR;
    }
    // Entry n of a port list is COM n; entry 0 is no port.
    m_tipText = entry > 0
                    ? Wide(PORT_DIRECTORY_Describe(PORT_DIRECTORY_Path(), static_cast<int>(entry)))
                    : std::wstring();
    reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = m_tipText.data();
}

void MainWindow::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_window, &paint);
    SendMessageW(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_window, &paint);
}

const PercentBar& MainWindow::Bar(int id) const { return *m_bars.at(id); }

bool MainWindow::IsChecked(int id) const { return IsDlgButtonChecked(m_window, id) == BST_CHECKED; }

void MainWindow::SetChecked(int id, bool checked) {
    CheckDlgButton(m_window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool MainWindow::IsEnabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

void MainWindow::Enable(int id, bool enabled) { EnableWindow(Item(id), enabled ? TRUE : FALSE); }

void MainWindow::Hide(int id) { ShowWindow(Item(id), SW_HIDE); }

std::string MainWindow::GetText(int id) const { return UTF16_ToUtf8(WindowText(Item(id))); }

void MainWindow::SetText(int id, const std::string& text) {
    SetWindowTextW(Item(id), Wide(text).c_str());
}

void MainWindow::SetBarRange(int id, int lower, int upper) {
    m_bars.at(id)->SetRange(lower, upper);
}

void MainWindow::SetBarPos(int id, int position) { m_bars.at(id)->SetPos(position); }

void MainWindow::FillList(int id, const std::vector<std::string>& entries) {
    HWND list = Item(id);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : entries) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    }
}

int MainWindow::GetSelection(int id) const {
    return static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
}

void MainWindow::Select(int id, int index) {
    SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void MainWindow::ShowLog(const std::string& log, const std::string& appended) {
    HWND field = Item(IDC_LOG);
    if (appended.empty()) {
        SetWindowTextW(field, Wide(log).c_str());
    } else {
        // The field shows everything before the new line: adding the line alone keeps a long
        // log cheap to extend.
        const int end = GetWindowTextLengthW(field);
        SendMessageW(field, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
        SendMessageW(field, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(appended).c_str()));
    }
    const LRESULT lines = SendMessageW(field, EM_GETLINECOUNT, 0, 0);
    SendMessageW(field, EM_LINESCROLL, 0, static_cast<LPARAM>(lines));
}

int MainWindow::Box(const std::string& text, UINT type) {
    const std::wstring wide = Wide(text);
    const std::wstring caption = ProgramName();
    if (BoxHook()) {
        return BoxHook()(m_window, wide, caption, type);
    }
    return MessageBoxW(m_window, wide.c_str(), caption.c_str(), type);
}

void MainWindow::ShowNotice(const std::string& text) { Box(text, MB_OK | MB_ICONWARNING); }

bool MainWindow::AskYesNo(const std::string& text) {
    return Box(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void MainWindow::ShowFileError(const std::string& text) { Box(text, MB_OK | MB_ICONSTOP); }

std::string MainWindow::ChooseFile(FileKind kind, const std::string& filter,
                                   const std::string& defaultExtension) {
    // "Label|pattern|...|" becomes the dialog's "Label\0pattern\0...\0\0".
    std::wstring pairs = Wide(filter);
    std::replace(pairs.begin(), pairs.end(), L'|', L'\0');
    pairs.push_back(L'\0');
    const std::wstring extension = Wide(defaultExtension);
    wchar_t path[1024] = {};
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = m_window;
    request.lpstrFilter = pairs.c_str();
    request.lpstrFile = path;
    request.nMaxFile = static_cast<DWORD>(sizeof path / sizeof path[0]);
    request.lpstrDefExt = extension == L"*" ? nullptr : extension.c_str();
    // A new profile name must be possible, and saving over one replaces only the profile's
    // own keys: the save dialog neither demands an existing file nor asks to overwrite.
    const bool save = kind == FileKind::kSave;
    request.Flags = save ? 0 : OFN_FILEMUSTEXIST;
    bool chosen = false;
    if (DialogHook()) {
        chosen = DialogHook()(save, &request);
    } else {
        chosen = (save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request)) != FALSE;
    }
    path[sizeof path / sizeof path[0] - 1] = L'\0';
    return chosen ? UTF16_ToUtf8(path) : std::string();
}

int MainWindow::OnEngineMessage(int message, int code, const void* record) {
    return message == WM_ENGINE_EVENT ? m_core.OnEngineEvent(code, record) : 0;
}

void MainWindow::PumpHostEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
            return;
        }
        if (m_window == nullptr || !IsDialogMessageW(m_window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void MainWindow::WakeHost() {
    const HWND target = m_wakeTarget.load();
    if (target != nullptr) {
        PostMessageW(target, WM_ENGINE_EVENT, 0, 0);
    }
}
