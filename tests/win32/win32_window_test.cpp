// kovirw.exe's window under wine, driven in-process through its messages as the operator and
// the system would: the template's layout, the address fields' typing, the Download checks,
// and runs against the simulated terminals that window_e2e.sh links as COM1 to COM8 (the
// terminal on COM6 erases slowly). The run of eight ends with a picture of the window.
#include <windows.h>
// The Win32 headers below need windows.h first.
#include <commctrl.h>
#include <dbt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "config/config_testing.h"
#include "console/core/dialog_layout.h"
#include "console/win32/main_window.h"

namespace {

struct Box {
    std::wstring text, caption;
    UINT type;
};

// A window of the program in a start-up directory: a fresh folder under KOVIRW_WINDOW_WORK
// holding a copy of its kovirw.ini and default.kvr (or none when `files` is false).
class Window {
  public:
    explicit Window(const char* settings = nullptr, bool files = true) {
        const char* work = std::getenv("KOVIRW_WINDOW_WORK");
        m_dir = std::string(work != nullptr ? work : ".") + "\\run" + std::to_string(++s_count);
        CreateDirectoryA(m_dir.c_str(), nullptr);
        if (files) {
            CopyFileA((std::string(work) + "\\default.kvr").c_str(),
                      (m_dir + "\\default.kvr").c_str(), FALSE);
        }
        if (settings != nullptr) {
            Write("kovirw.ini", settings);
        }
        SetCurrentDirectoryA(m_dir.c_str());
        CONFIG_ResetForTest();
        WIN32_SetMessageBoxHook(
            [this](HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
                boxes.push_back({text, caption, type});
                return (type & MB_TYPEMASK) == MB_YESNO ? (yes ? IDYES : IDNO) : IDOK;
            });
        WIN32_SetFileDialogHook([this](bool save, OPENFILENAMEW* request) {
            requests.push_back(*request);
            saves.push_back(save);
            extensions.push_back(request->lpstrDefExt != nullptr ? request->lpstrDefExt
                                                                 : L"(none)");
            filters.push_back(
                std::wstring(request->lpstrFilter, FilterLength(request->lpstrFilter)));
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

    void Write(const char* name, const std::string& text) const {
        std::ofstream(m_dir + "\\" + name, std::ios::binary) << text;
    }
    std::string Read(const char* name) const {
        std::ifstream in(m_dir + "\\" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    HWND Item(int id) const { return GetDlgItem(handle, id); }
    std::wstring Text(int id) const {
        wchar_t text[2048] = {};
        GetWindowTextW(Item(id), text, 2048);
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
    // Ports COM1..COM8 arrive, after whatever the system listed at start-up went away.
    void PlugEight() const {
        for (int c = 0; c < kConsoleChannels; ++c) {
            if (window.Core().ChannelPort(c) != 0)
                Port(DBT_DEVICEREMOVECOMPLETE, window.Core().ChannelPort(c));
        }
        for (int com = 1; com <= 8; ++com) Port(DBT_DEVICEARRIVAL, com);
    }
    static size_t FilterLength(const wchar_t* filter) {
        size_t n = 0;
        while (filter[n] != L'\0' || filter[n + 1] != L'\0') ++n;
        return n + 2;
    }

    MainWindow window;
    HWND handle = nullptr;
    std::vector<Box> boxes;
    bool yes = false;
    std::wstring answer;                  // the path the next file dialog returns; empty: cancel
    std::vector<OPENFILENAMEW> requests;  // their pointers are gone once the dialog returns
    std::vector<bool> saves;
    std::vector<std::wstring> extensions;
    std::vector<std::wstring> filters;

  private:
    std::string m_dir;
    static int s_count;
};
int Window::s_count = 0;

// Per ControlKind, in its order: the class atom in a dialog template (0: by name, the
// progress bar), the style bits the kind must carry, and whether it is a tab stop.
const struct {
    WORD atom;
    DWORD style;
    bool tabStop;
} kKinds[] = {
    {0x80, BS_PUSHBUTTON, true},                                        // push button
    {0x81, ES_AUTOHSCROLL | WS_BORDER, true},                           // edit field
    {0x85, CBS_DROPDOWNLIST | WS_VSCROLL, true},                        // port list
    {0x80, BS_AUTOCHECKBOX, true},                                      // check box
    {0, WS_BORDER, false},                                              // progress bar
    {0x80, BS_GROUPBOX, false},                                         // group box
    {0x82, SS_CENTER, false},                                           // heading
    {0x81, ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER, true},  // log
};

std::wstring Wide(const char* text) {
    wchar_t wide[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256);
    return wide;
}

// Reads the extended dialog template IDD_MAIN as the resource compiler wrote it.
class Template {
  public:
    Template() {
        HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), MAKEINTRESOURCEW(5));
        m_at = found != nullptr
                   ? static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)))
                   : nullptr;
    }
    bool Loaded() const { return m_at != nullptr; }
    template <typename T>
    T Next() {
        T value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    WORD Word() { return Next<WORD>(); }
    DWORD Dword() { return Next<DWORD>(); }
    // A name or ordinal: the text, or "#<ordinal>".
    std::wstring Name() {
        const WORD first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (WORD c = first; c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    void Align() {
        while (reinterpret_cast<uintptr_t>(m_at) % 4 != 0) ++m_at;
    }

  private:
    const BYTE* m_at;
};

// The dialog template against the window's table: the frame, then every control's id,
// class, caption, style and place in dialog units, in order.
TEST(Window, TemplateHoldsTheTable) {
    Template t;
    ASSERT_TRUE(t.Loaded());
    EXPECT_EQ(t.Word(), 1);  // extended template
    EXPECT_EQ(t.Word(), 0xFFFF);
    t.Dword();  // help id
    const DWORD exStyle = t.Dword();
    const DWORD style = t.Dword();
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
    EXPECT_EQ(style & frame, frame);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(t.Word(), kDialogControlCount);
    for (int expected : {0, 0, kDialogWidth, kDialogHeight})
        EXPECT_EQ(static_cast<short>(t.Word()), expected);
    EXPECT_EQ(t.Name(), L"");  // no menu
    EXPECT_EQ(t.Name(), L"");  // the dialog class
    EXPECT_EQ(t.Name(), L"Kovir Downloader for Win32");
    EXPECT_EQ(t.Word(), 9);  // points
    t.Word();
    t.Word();  // weight, italic and character set
    EXPECT_EQ(t.Name(), L"MS Sans Serif");
    for (const ControlPlace& place : kDialogControls) {
        t.Align();
        t.Dword();
        t.Dword();  // help id, extended style
        const DWORD item = t.Dword();
        const short x = static_cast<short>(t.Word()), y = static_cast<short>(t.Word());
        const short cx = static_cast<short>(t.Word()), cy = static_cast<short>(t.Word());
        EXPECT_EQ(static_cast<int>(t.Dword()), place.id);
        EXPECT_EQ(x, place.x) << place.id;
        EXPECT_EQ(y, place.y) << place.id;
        EXPECT_EQ(cx, place.width) << place.id;
        EXPECT_EQ(cy, place.height) << place.id;
        const auto& kind = kKinds[static_cast<int>(place.kind)];
        const std::wstring name = t.Name();  // a class name in any case
        EXPECT_EQ(
            _wcsicmp(name.c_str(), kind.atom != 0 ? (L"#" + std::to_wstring(kind.atom)).c_str()
                                                  : PROGRESS_CLASSW),
            0)
            << place.id;
        EXPECT_EQ(t.Name(), Wide(place.caption)) << place.id;
        EXPECT_EQ(item & kind.style, kind.style) << place.id;
        EXPECT_EQ((item & WS_TABSTOP) != 0, kind.tabStop) << place.id;
        const WORD extra = t.Word();
        for (WORD i = 0; i < extra; ++i) t.Word();
    }
}

// The window made from it: the program's caption and icon, the DMB row hidden. (The dialog
// manager places the controls as the template says.)
TEST(Window, CaptionIconAndTheHiddenRow) {
    Window w;
    wchar_t caption[128] = {};
    GetWindowTextW(w.handle, caption, 128);
    EXPECT_EQ(std::wstring(caption), Wide(kWindowCaption));
    EXPECT_NE(SendMessageW(w.handle, WM_GETICON, ICON_BIG, 0), 0);
    for (int id : {IDC_CHECK_8, IDC_IMAGE_BAR_8, IDC_BROWSE_8, IDC_ADDRESS_8, IDC_CHECK_7})
        EXPECT_EQ(IsWindowVisible(w.Item(id)) != FALSE, id == IDC_CHECK_7) << id;
}

// Typed characters reach the core's filter with the field's whole length, selected text
// included; the Code address takes nothing.
TEST(Window, AddressFieldsFilterTypedCharacters) {
    Window w;
    SetWindowTextW(w.Item(IDC_ADDRESS_1), L"");
    w.Type(IDC_ADDRESS_1, L"a1 g-f0x\026bcdef9\b9");  // \026: Ctrl+V
    EXPECT_EQ(w.Text(IDC_ADDRESS_1), L"A1F0BCD9");
    SendMessageW(w.Item(IDC_ADDRESS_1), EM_SETSEL, 0, -1);
    w.Type(IDC_ADDRESS_1, L"5");
    EXPECT_EQ(w.Text(IDC_ADDRESS_1), L"A1F0BCD9");
    w.Type(IDC_ADDRESS_0, L"12ab \b");
    EXPECT_EQ(w.Text(IDC_ADDRESS_0), L"18000");
    EXPECT_EQ(SendMessageW(w.Item(IDC_ADDRESS_3), EM_GETLIMITTEXT, 0, 0), 31);
}

TEST(Window, DownloadChecksBoxesAndDialogs) {
    Window w("[KOVIR]\r\nAUTODETECT=0\r\nCH0_PORT=3\r\n", false);
    EXPECT_TRUE(IsWindowEnabled(w.Item(IDC_DOWNLOAD)));
    EXPECT_EQ(w.window.Core().ChannelPort(0), 3);
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring name = wcsrchr(program, L'\\') + 1;
    name.erase(name.rfind(L'.'));

    w.Click(IDC_CHECK_0);  // Code off
    w.Click(IDC_DOWNLOAD);
    EXPECT_FALSE(IsWindowEnabled(w.Item(IDC_CHANGE_BOOT)));  // with Code off
    w.Click(IDC_CHECK_0);
    w.Click(IDC_CHANGE_BOOT);  // answered No
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[0].text, L"Select Image !");
    EXPECT_EQ(w.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(w.boxes[1].text, L"Change?");
    EXPECT_EQ(w.boxes[1].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(w.boxes[0].caption, name);
    EXPECT_EQ(SendMessageW(w.Item(IDC_CHANGE_BOOT), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    w.Choose(6, 3);  // channel 0 holds COM3: refused
    EXPECT_EQ(w.window.Core().ChannelPort(6), 0);
    EXPECT_EQ(SendMessageW(w.Item(IDC_PORT_6), CB_GETCURSEL, 0, 0), 0);

    // Browse and Load: the filters, options and default extensions of the file dialogs.
    w.answer = L"Z:\\nowhere\\code.bin";
    w.Click(IDC_BROWSE_0);
    EXPECT_EQ(w.Text(IDC_IMAGE_BAR_0), w.answer);
    w.answer.clear();
    w.Click(IDC_LOAD);
    w.Click(IDC_SAVE_AS);
    ASSERT_EQ(w.requests.size(), 3u);
    static const wchar_t kCode[] = L"Phone Code Files(*.bin)\0*.bin\0All Files(*.*)\0*.*\0";
    static const wchar_t kProfile[] = L"Kovir Files(*.kvr)\0*.kvr\0";  // each ends in two NULs
    EXPECT_EQ(w.filters[0], std::wstring(kCode, sizeof kCode / sizeof kCode[0]));
    EXPECT_EQ(w.requests[0].Flags, static_cast<DWORD>(OFN_FILEMUSTEXIST));
    EXPECT_EQ(w.extensions[0], L"(none)");
    EXPECT_EQ(w.requests[0].hwndOwner, w.handle);
    EXPECT_EQ(w.filters[1], std::wstring(kProfile, sizeof kProfile / sizeof kProfile[0]));
    EXPECT_EQ(w.extensions[1], L"kvr");
    EXPECT_FALSE(w.saves[1]);
    EXPECT_TRUE(w.saves[2]);

    // Enter leaves the window open; Escape closes it and the settings are stored.
    SendMessageW(w.handle, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindowVisible(w.handle));
    SendMessageW(w.handle, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(w.handle));
    EXPECT_NE(w.Read("kovirw.ini").find("CH0_PORT=3"), std::string::npos);
}

// The program's own way: the window runs modally, the close box ends it, and its end stores
// the settings.
int g_modalStep = 0;  // 1: shown and closed
void CALLBACK CloseModal(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND shown = FindWindowW(nullptr, Wide(kWindowCaption).c_str());
    if (shown == nullptr || !IsWindowVisible(shown)) return;
    ++g_modalStep;
    KillTimer(nullptr, timer);
    PostMessageW(shown, WM_CLOSE, 0, 0);
}

TEST(Window, ModalWindowEndsByItsCloseBox) {
    Window w("[KOVIR]\r\nAUTODETECT=0\r\nCH3_PORT=12\r\n");
    DestroyWindow(w.handle);
    w.Write("kovirw.ini", "[KOVIR]\r\nAUTODETECT=0\r\nCH3_PORT=12\r\n");
    MainWindow modal;
    SetTimer(nullptr, 0, 20, CloseModal);
    modal.RunModal(GetModuleHandleW(nullptr));
    EXPECT_EQ(g_modalStep, 1);
    EXPECT_EQ(modal.Core().ChannelPort(3), 12);
    EXPECT_NE(w.Read("kovirw.ini").find("KOVIRFILE="), std::string::npos);
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
    const int width = place.right - place.left, height = place.bottom - place.top;
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(static_cast<size_t>((width * 3 + 3) & ~3) * height, '\0');
    const bool read = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    BITMAPFILEHEADER file{
        0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
        sizeof(BITMAPFILEHEADER) + sizeof info};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out << pixels;
    return copied && read && out.good();
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
        EXPECT_EQ(w.Text(kChannelBarId[c]), L"Ready...");
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
    EXPECT_FALSE(w.window.Core().Running());
    for (int c = 0; c < kConsoleChannels; ++c)
        EXPECT_TRUE(EndsOnSummary(w.Text(kChannelBarId[c]))) << c;
    EXPECT_TRUE(IsWindowEnabled(w.Item(IDC_DOWNLOAD)));

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
    EXPECT_EQ(w.window.Core().ChannelPort(5), 0);
    EXPECT_TRUE(IsWindowEnabled(w.Item(IDC_PORT_5)));
    for (int c : {0, 1, 2, 3, 4, 6, 7}) EXPECT_TRUE(EndsOnSummary(w.Text(kChannelBarId[c]))) << c;
    const std::string& log = w.window.Core().LogText();
    EXPECT_NE(log.find("Disconnect COM6 Port\r\n"), std::string::npos);
    EXPECT_EQ(log.find("5번 채널"), std::string::npos);
}

// Closing during a run stops it once, then the window goes and the settings are stored.
TEST(WindowRun, ClosingDuringARun) {
    Window w("[KOVIR]\r\nAUTODETECT=1\r\n");
    RunActingWhileChannel5Erases(w, [&w] { SendMessageW(w.handle, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(w.window.Core().RunStops(), 1);
    EXPECT_FALSE(w.window.Core().Running());
    EXPECT_FALSE(IsWindow(w.handle));
    EXPECT_NE(w.Read("kovirw.ini").find("CH5_PORT=6"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
