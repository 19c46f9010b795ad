// kovirw.exe's window under wine, driven in-process through its messages as the operator and
// the system would: the template's layout, the address fields' typing, the Download checks,
// and runs against the simulated terminals that window_e2e.sh links as COM1 to COM8 (the
// terminal on COM6 erases slowly). The run of eight ends with a picture of the window.
#include <windows.h>
// The Win32 headers below need windows.h first.
#include <commctrl.h>
#include <dbt.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "config/config_testing.h"
#include "console/core/dialog_layout.h"
#include "console/win32/main_window.h"
#include "console/win32/main_window_testing.h"
#include "serial/port_directory.h"
#include "tests/support/test_files.h"

namespace {

struct Box {
    std::wstring text, caption;
    UINT type;
};
// What a file dialog was asked for (the request's pointers are gone once it returns).
struct FileRequest {
    bool save;
    DWORD flags;
    HWND owner;
    std::wstring filter, extension;
};

// A window of the program in a start-up directory: a fresh folder under KOVIRW_WINDOW_WORK
// holding a copy of its kovirw.ini and default.kvr (or none when `files` is false).
class Window {
  public:
    explicit Window(const char* settings = nullptr, bool files = true) {
        const char* work = std::getenv("KOVIRW_WINDOW_WORK");
        dir = std::string(work != nullptr ? work : ".") + "\\run" + std::to_string(++s_count);
        CreateDirectoryA(dir.c_str(), nullptr);
        if (files) {
            CopyFileA((std::string(work) + "\\default.kvr").c_str(),
                      (dir + "\\default.kvr").c_str(), FALSE);
        }
        if (settings != nullptr) WriteText(dir + "\\kovirw.ini", settings);
        SetCurrentDirectoryA(dir.c_str());
        CONFIG_ResetForTest();
        WIN32_SetMessageBoxHook(
            [this](HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
                boxes.push_back({text, caption, type});
                return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
            });
        WIN32_SetFileDialogHook([this](bool save, OPENFILENAMEW* request) {
            size_t n = 0;  // the filter ends in two NULs
            while (request->lpstrFilter[n] != L'\0' || request->lpstrFilter[n + 1] != L'\0') ++n;
            dialogs.push_back({save, request->Flags, request->hwndOwner,
                               std::wstring(request->lpstrFilter, n + 2),
                               request->lpstrDefExt != nullptr ? request->lpstrDefExt : L"(none)"});
            if (answer.empty()) return false;
            wcsncpy(request->lpstrFile, answer.c_str(), request->nMaxFile - 1);
            return true;
        });
        handle = window.CreateModeless(GetModuleHandleW(nullptr));
        ShowWindow(handle, SW_SHOW);
        UpdateWindow(handle);
    }
    ~Window() {
        if (IsWindow(handle)) DestroyWindow(handle);
        WIN32_SetMessageBoxHook(nullptr);
        WIN32_SetFileDialogHook(nullptr);
    }

    HWND Item(int id) const { return GetDlgItem(handle, id); }
    std::wstring Text(int id) const { return Text(Item(id)); }
    static std::wstring Text(HWND item) {
        wchar_t text[2048] = {};
        GetWindowTextW(item, text, 2048);
        return text;
    }
    // A click on a button or check box, as the mouse gives it.
    void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    // Characters typed into a control.
    void Type(int id, const std::wstring& keys) const {
        for (wchar_t key : keys) SendMessageW(Item(id), WM_CHAR, key, 1);
    }
    // The operator picks a list entry.
    void Choose(int channel, int index) const {
        SendMessageW(Item(kPortListId[channel]), CB_SETCURSEL, index, 0);
        SendMessageW(handle, WM_COMMAND, MAKEWPARAM(kPortListId[channel], CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(kPortListId[channel])));
    }
    // The broadcast the system sends when a COM port comes or goes.
    void Port(UINT event, int com) const {
        struct {
            DEV_BROADCAST_PORT_W header;
            wchar_t more[16];
        } port{};
        port.header.dbcp_size = sizeof port;
        port.header.dbcp_devicetype = DBT_DEVTYP_PORT;
        swprintf(port.header.dbcp_name, 17, L"COM%d", com);
        SendMessageW(handle, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&port));
    }
    // Ports COM1..COM8 arrive.
    void PlugEight() const {
        for (int com = 1; com <= 8; ++com) Port(DBT_DEVICEARRIVAL, com);
    }

    MainWindow window;
    HWND handle = nullptr;
    std::vector<Box> boxes;
    std::wstring answer;  // the path the next file dialog returns; empty: cancel
    std::vector<FileRequest> dialogs;
    std::string dir;

  private:
    static int s_count;
};
int Window::s_count = 0;

// Per ControlKind, in its order: the window class of its controls, the style bits the kind
// must carry, and whether it is a tab stop.
const struct {
    const wchar_t* name;
    DWORD style;
    bool tabStop;
} kKinds[] = {
    {L"Button", BS_PUSHBUTTON, true},                          // push button
    {L"Edit", ES_AUTOHSCROLL, true},                           // edit field
    {L"ComboBox", CBS_DROPDOWNLIST, true},                     // port list
    {L"Button", BS_AUTOCHECKBOX, true},                        // check box
    {PROGRESS_CLASSW, 0, false},                               // progress bar
    {L"Button", BS_GROUPBOX, false},                           // group box
    {L"Static", SS_CENTER, false},                             // heading
    {L"Edit", ES_MULTILINE | ES_READONLY | WS_VSCROLL, true},  // log
};

std::wstring Wide(const char* text) {
    wchar_t wide[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256);
    return wide;
}

// The window made from the template IDD_MAIN against the window's table: the frame, its
// font and size, then every control in the order of creation with its id, class, style,
// fixed caption and place.
TEST(Window, TemplateHoldsTheTable) {
    Window w;
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
    EXPECT_EQ(GetWindowLongW(w.handle, GWL_STYLE) & (frame | WS_THICKFRAME | WS_MAXIMIZEBOX),
              frame);
    EXPECT_TRUE(GetWindowLongW(w.handle, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w.handle, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif");
    RECT want{0, 0, kDialogWidth, kDialogHeight}, got;
    MapDialogRect(w.handle, &want);
    GetClientRect(w.handle, &got);
    EXPECT_TRUE(EqualRect(&got, &want));
    HWND item = GetWindow(w.handle, GW_CHILD);
    for (const ControlPlace& place : kDialogControls) {
        ASSERT_NE(item, nullptr);
        const auto& kind = kKinds[static_cast<int>(place.kind)];
        wchar_t name[32] = {};
        GetClassNameW(item, name, 32);
        EXPECT_EQ(_wcsicmp(name, kind.name), 0) << place.id;
        EXPECT_EQ(GetDlgCtrlID(item), place.id);
        const DWORD style = GetWindowLongW(item, GWL_STYLE);
        EXPECT_EQ(style & kind.style, kind.style) << place.id;
        EXPECT_EQ((style & WS_TABSTOP) != 0, kind.tabStop) << place.id;
        if (place.caption[0] != '\0') {
            EXPECT_EQ(w.Text(item), Wide(place.caption)) << place.id;
        }
        want = {place.x, place.y, place.width, place.height};  // a place and a size
        MapDialogRect(w.handle, &want);
        GetWindowRect(item, &got);
        MapWindowPoints(nullptr, w.handle, reinterpret_cast<POINT*>(&got), 2);
        // A port list's height is the open list's, which the window does not show.
        const LONG height =
            place.kind == ControlKind::kPortList ? want.bottom : got.bottom - got.top;
        EXPECT_EQ((std::vector<LONG>{got.left, got.top, got.right - got.left, height}),
                  (std::vector<LONG>{want.left, want.top, want.right, want.bottom}))
            << place.id;
        item = GetWindow(item, GW_HWNDNEXT);
    }
    EXPECT_EQ(item, nullptr);
    // At initialisation: the program's caption and icon, the DMB row hidden.
    EXPECT_EQ(w.Text(w.handle), Wide(kWindowCaption));
    EXPECT_NE(SendMessageW(w.handle, WM_GETICON, ICON_BIG, 0), 0);
    for (int id : {IDC_CHECK_8, IDC_IMAGE_BAR_8, IDC_BROWSE_8, IDC_ADDRESS_8, IDC_CHECK_7})
        EXPECT_EQ(IsWindowVisible(w.Item(id)) != FALSE, id == IDC_CHECK_7) << id;
}

// The operator's actions reach the core and its answers the window: typed characters
// reach the core's filter with the field's whole length, selected text included (the Code
// address takes none); then the Download checks, the message boxes and file dialogs.
TEST(Window, OperatorActionsBoxesAndDialogs) {
    Window w("[KOVIR]\r\nAUTODETECT=0\r\nCH0_PORT=3\r\n", false);
    SetWindowTextW(w.Item(IDC_ADDRESS_1), L"");
    w.Type(IDC_ADDRESS_1, L"a1 g-f0x\026bcdef9\b9");  // \026: Ctrl+V
    EXPECT_EQ(w.Text(IDC_ADDRESS_1), L"A1F0BCD9");
    SendMessageW(w.Item(IDC_ADDRESS_1), EM_SETSEL, 0, -1);
    w.Type(IDC_ADDRESS_1, L"5");
    EXPECT_EQ(w.Text(IDC_ADDRESS_1), L"A1F0BCD9");
    w.Type(IDC_ADDRESS_0, L"12ab \b");
    EXPECT_EQ(w.Text(IDC_ADDRESS_0), L"18000");
    EXPECT_EQ(SendMessageW(w.Item(IDC_ADDRESS_3), EM_GETLIMITTEXT, 0, 0), 31);

    w.Click(IDC_CHECK_0);  // Code off
    w.Click(IDC_DOWNLOAD);
    w.Click(IDC_CHECK_0);
    w.Click(IDC_CHANGE_BOOT);  // answered No
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[0].text, L"Select Image !");
    EXPECT_EQ(w.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(w.boxes[1].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(w.boxes[0].caption, L"win32_window_tests");  // the program's name
    EXPECT_EQ(SendMessageW(w.Item(IDC_CHANGE_BOOT), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    w.Choose(6, 3);  // channel 0 holds COM3: refused
    EXPECT_EQ(SendMessageW(w.Item(IDC_PORT_6), CB_GETCURSEL, 0, 0), 0);

    // Browse and Load: the filters, options and default extensions of the file dialogs.
    w.answer = L"Z:\\nowhere\\code.bin";
    w.Click(IDC_BROWSE_0);
    EXPECT_EQ(w.Text(IDC_IMAGE_BAR_0), w.answer);
    w.answer.clear();
    w.Click(IDC_LOAD);
    w.Click(IDC_SAVE_AS);
    ASSERT_EQ(w.dialogs.size(), 3u);
    static const wchar_t kCode[] = L"Phone Code Files(*.bin)\0*.bin\0All Files(*.*)\0*.*\0";
    EXPECT_EQ(w.dialogs[0].filter, std::wstring(kCode, sizeof kCode / sizeof kCode[0]));
    EXPECT_EQ(w.dialogs[0].flags, static_cast<DWORD>(OFN_FILEMUSTEXIST));
    EXPECT_EQ(w.dialogs[0].extension, L"(none)");
    EXPECT_EQ(w.dialogs[0].owner, w.handle);
    EXPECT_EQ(w.dialogs[1].extension, L"kvr");
    EXPECT_FALSE(w.dialogs[1].save);
    EXPECT_TRUE(w.dialogs[2].save);

    SendMessageW(w.handle, WM_COMMAND, IDOK, 0);  // Enter leaves the window open
    EXPECT_TRUE(IsWindowVisible(w.handle));
}

// The system lists COM27 before the window starts, as a PC lists its own ports: with Auto on
// no channel takes it. Once it arrives it is taken, and its list shows the device that the
// system names for it as the entry's tooltip.
TEST(Window, AutoTakesArrivalsAndListsShowTheirDevices) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t com[] = L"COM27";
    RegSetValueExW(key, L"\\Device\\KovirwTest27", 0, REG_SZ, reinterpret_cast<const BYTE*>(com),
                   sizeof com);
    Window w("[KOVIR]\r\nAUTODETECT=1\r\n");
    for (int c = 0; c < kConsoleChannels; ++c) EXPECT_EQ(w.window.Core().ChannelPort(c), 0) << c;
    EXPECT_FALSE(IsWindowEnabled(w.Item(IDC_DOWNLOAD)));
    w.Port(DBT_DEVICEARRIVAL, 27);
    EXPECT_EQ(w.window.Core().ChannelPort(0), 27);
    NMTTDISPINFOW tip{};
    tip.hdr.idFrom = reinterpret_cast<UINT_PTR>(w.Item(kPortListId[0]));
    tip.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(w.handle, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
    EXPECT_EQ(std::wstring(tip.lpszText != nullptr ? tip.lpszText : L"(none)"),
              L"\\Device\\KovirwTest27");
    RegDeleteValueW(key, L"\\Device\\KovirwTest27");
    RegCloseKey(key);
}

// The program's own way: the window runs modally, the close box ends it, and its end stores
// the settings.
void CALLBACK CloseModal(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND shown = FindWindowW(nullptr, Wide(kWindowCaption).c_str());
    if (shown == nullptr || !IsWindowVisible(shown)) return;
    KillTimer(nullptr, timer);
    PostMessageW(shown, WM_CLOSE, 0, 0);
}

TEST(Window, ModalWindowEndsByItsCloseBox) {
    Window w("[KOVIR]\r\nAUTODETECT=0\r\nCH3_PORT=12\r\n");
    DestroyWindow(w.handle);
    WriteText(w.dir + "\\kovirw.ini", "[KOVIR]\r\nAUTODETECT=0\r\nCH3_PORT=12\r\n");
    MainWindow modal;
    SetTimer(nullptr, 0, 20, CloseModal);
    modal.RunModal(GetModuleHandleW(nullptr));
    EXPECT_EQ(modal.Core().ChannelPort(3), 12);
    EXPECT_NE(ReadText(w.dir + "\\kovirw.ini").find("KOVIRFILE="), std::string::npos);
}

// While a run pumps messages: `tick` runs every 20 ms until it returns true (never within
// itself, when it runs a message loop of its own).
std::function<bool()> g_tick;
void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    static bool running = false;
    if (running || !g_tick) return;
    running = true;
    if (g_tick()) {
        KillTimer(nullptr, timer);
        g_tick = nullptr;
    }
    running = false;
}

// Saves the window as it is drawn (frame and all controls, read from the window's own
// surface rather than from the X server, which gets it later) as a 24-bit BMP file
// (window_e2e.sh makes the PNG of it).
bool SaveWindowPicture(HWND window, const char* path) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT place;
    GetWindowRect(window, &place);
    BITMAPINFOHEADER info{sizeof info,
                          place.right - place.left,
                          place.bottom - place.top,
                          1,
                          24,
                          BI_RGB,
                          0,
                          0,
                          0,
                          0,
                          0};
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &pixels, nullptr, 0);
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied =
        BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, 0, 0, SRCCOPY) && GdiFlush();
    const DWORD size = ((info.biWidth * 3 + 3) & ~3) * info.biHeight;
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{0x4D42, headers + size, 0, 0, headers};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(static_cast<const char*>(pixels), size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return copied && out.good();
}

bool EndsOnSummary(const std::wstring& text) {
    return text.rfind(L"9개 파일, 소요시간 : ", 0) == 0 && text.back() == L'초';
}

// Closes the test's message box once channel 0's bar (of window g_shown) shows its summary.
HWND g_shown = nullptr;
void CALLBACK CloseBoxAtSummary(HWND, UINT, UINT_PTR, DWORD) {
    wchar_t text[256] = {};
    GetWindowTextW(GetDlgItem(g_shown, IDC_CHANNEL_BAR_0), text, 256);
    HWND box = EndsOnSummary(text) ? FindWindowW(L"#32770", L"kovirw test") : nullptr;
    if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// Eight terminals flash from the window: a message box opened during the run still sees the
// engine's events arrive; every bar ends on its channel's summary; the window is saved as a
// PNG with its Korean texts.
TEST(WindowRun, EightTerminalsFlashFromTheWindow) {
    Window w("[KOVIR]\r\nAUTODETECT=1\r\nDELAY=2\r\nBAUDRATE=1382400\r\n");
    w.PlugEight();
    for (int c = 0; c < kConsoleChannels; ++c) {
        EXPECT_EQ(w.window.Core().ChannelPort(c), c + 1);
        EXPECT_FALSE(IsWindowEnabled(w.Item(kPortListId[c])));
    }
    bool sawEventsInBox = false;
    g_tick = [&] {
        // A real message box: its modal loop, not the run's, must deliver the events.
        g_shown = w.handle;
        const UINT_PTR closer = SetTimer(nullptr, 0, 20, CloseBoxAtSummary);
        MessageBoxW(w.handle, L"events go on", L"kovirw test", MB_OK);
        KillTimer(nullptr, closer);
        sawEventsInBox = EndsOnSummary(w.Text(IDC_CHANNEL_BAR_0));
        return true;
    };
    SetTimer(nullptr, 0, 20, Tick);
    w.Click(IDC_DOWNLOAD);
    EXPECT_TRUE(sawEventsInBox);
    for (int c = 0; c < kConsoleChannels; ++c)
        EXPECT_TRUE(EndsOnSummary(w.Text(kChannelBarId[c]))) << c;

    const char* shot = std::getenv("KOVIRW_WINDOW_SCREENSHOT");
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(SaveWindowPicture(w.handle, shot)) << shot;
}

// The terminal on COM6 erases slowly; unplugging it then stops channel 5 only.
// A run of eight in which `act` comes while channel 5 (COM6) erases.
void RunActingWhileChannel5Erases(Window& w, std::function<void()> act) {
    w.PlugEight();
    g_tick = [&w, act] {
        if (w.Text(IDC_CHANNEL_BAR_5).find(L"erasing") == std::wstring::npos) return false;
        act();
        return true;
    };
    SetTimer(nullptr, 0, 20, Tick);
    w.Click(IDC_DOWNLOAD);
}

TEST(WindowRun, RemovalDuringARunStopsOnlyItsChannel) {
    Window w("[KOVIR]\r\nAUTODETECT=1\r\n");
    RunActingWhileChannel5Erases(w, [&w] { w.Port(DBT_DEVICEREMOVECOMPLETE, 6); });
    EXPECT_EQ(w.Text(IDC_CHANNEL_BAR_5).rfind(L"ERR: ", 0), 0u) << w.Text(IDC_CHANNEL_BAR_5).size();
    for (int c : {0, 1, 2, 3, 4, 6, 7}) EXPECT_TRUE(EndsOnSummary(w.Text(kChannelBarId[c]))) << c;
}

// Closing during a run stops it once, then the window goes and the settings are stored.
TEST(WindowRun, ClosingDuringARun) {
    Window w("[KOVIR]\r\nAUTODETECT=1\r\n");
    RunActingWhileChannel5Erases(w, [&w] { SendMessageW(w.handle, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(w.window.Core().RunStops(), 1);
    EXPECT_FALSE(IsWindow(w.handle));
    EXPECT_NE(ReadText(w.dir + "\\kovirw.ini").find("CH5_PORT=6"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
