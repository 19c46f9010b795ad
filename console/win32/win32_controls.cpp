#include "console/win32/win32_controls.h"

#include <commctrl.h>

#include "console/core/operator_text.h"

namespace {

constexpr UINT_PTR kBarSubclass = 1;
constexpr UINT_PTR kHexSubclass = 2;
constexpr UINT_PTR kReadOnlySubclass = 3;

LRESULT CALLBACK HexProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                         DWORD_PTR) {
    if (message == WM_CHAR) {
        const char32_t kept = OPERATOR_HexFieldChar(
            static_cast<char32_t>(wParam), static_cast<size_t>(GetWindowTextLengthW(edit)));
        if (kept == 0) {
            return 0;
        }
        wParam = static_cast<WPARAM>(kept);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(edit, HexProc, kHexSubclass);
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK ReadOnlyProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) {
    if (message == WM_CHAR) {
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(edit, ReadOnlyProc, kReadOnlySubclass);
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace

void WIN32_AttachHexAddressEdit(HWND edit) { SetWindowSubclass(edit, HexProc, kHexSubclass, 0); }

void WIN32_AttachReadOnlyTextEdit(HWND edit) {
    SetWindowSubclass(edit, ReadOnlyProc, kReadOnlySubclass, 0);
}

// The colours are taken once: the bar keeps them even if the system colours change.
PercentBar::PercentBar()
    : m_barColour(GetSysColor(COLOR_HIGHLIGHT)),
      m_backColour(GetSysColor(COLOR_WINDOW)),
      m_barTextColour(GetSysColor(COLOR_WINDOW)) {}

PercentBar::~PercentBar() {
    if (m_window != nullptr && IsWindow(m_window)) {
        RemoveWindowSubclass(m_window, Proc, kBarSubclass);
    }
}

void PercentBar::Attach(HWND window) {
    m_window = window;
    m_font = reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0));
    SetWindowSubclass(window, Proc, kBarSubclass, reinterpret_cast<DWORD_PTR>(this));
}

int PercentBar::SetPos(int newPosition) {
    if (m_window == nullptr) {
        return -1;
    }
    RECT client;
    GetClientRect(m_window, &client);
    bool repaint = false;
    const int old = m_model.SetPos(newPosition, client.right - client.left, &repaint);
    if (repaint) {
        RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    return old;
}

LRESULT CALLBACK PercentBar::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR data) {
    auto* bar = reinterpret_cast<PercentBar*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, Proc, kBarSubclass);
        bar->m_window = nullptr;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    return bar->Handle(message, wParam, lParam);
}

LRESULT PercentBar::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // painting covers the whole control
        case WM_PAINT:
            Paint();
            return 0;
        case WM_SIZE: {
            const LRESULT result = DefSubclassProc(m_window, message, wParam, lParam);
            m_model.Resized();
            return result;
        }
        case WM_SETFONT:
            m_font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam) != 0) {
                InvalidateRect(m_window, nullptr, TRUE);
            }
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(m_font);
        case WM_SETTEXT: {
            const LRESULT result = DefSubclassProc(m_window, message, wParam, lParam);
            const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
            const std::wstring wanted = text != nullptr ? text : L"";
            if (wanted != m_text) {
                m_text = wanted;
                InvalidateRect(m_window, nullptr, TRUE);
            }
            return result;
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(m_text.size());
        case WM_GETTEXT: {
            const size_t size = static_cast<size_t>(wParam);
            auto* buffer = reinterpret_cast<wchar_t*>(lParam);
            if (size == 0 || buffer == nullptr) {
                return 0;
            }
            const size_t count = m_text.size() < size - 1 ? m_text.size() : size - 1;
            m_text.copy(buffer, count);
            buffer[count] = L'\0';
            return static_cast<LRESULT>(count);
        }
        default:
            return DefSubclassProc(m_window, message, wParam, lParam);
    }
}

void PercentBar::Paint() {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(m_window, &paint);
    ++m_paints;
    if (!m_model.Draws()) {
        EndPaint(m_window, &paint);
        return;
    }
    RECT client;
    GetClientRect(m_window, &client);
    // Drawn into an off-screen bitmap over the clip box and copied in one block, so the bar
    // never flickers.
    RECT box;
    GetClipBox(target, &box);
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    HDC surface = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, width > 0 ? width : 1, height > 0 ? height : 1);
    HGDIOBJ oldBitmap = SelectObject(surface, bitmap);
    SetWindowOrgEx(surface, box.left, box.top, nullptr);
    HGDIOBJ oldFont = m_font != nullptr ? SelectObject(surface, m_font) : nullptr;

    RECT filled = client;
    filled.right = client.left + m_model.FilledWidth(client.right - client.left);
    RECT rest = client;
    rest.left = filled.right;
    HBRUSH barBrush = CreateSolidBrush(m_barColour);
    HBRUSH backBrush = CreateSolidBrush(m_backColour);
    FillRect(surface, &filled, barBrush);
    FillRect(surface, &rest, backBrush);
    DeleteObject(barBrush);
    DeleteObject(backBrush);
    if (!m_text.empty()) {
        // The text is laid out once over the whole client area and drawn twice, clipped to
        // each side, so a character that straddles the edge changes colour at the edge.
        SetBkMode(surface, TRANSPARENT);
        const UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX;
        const struct {
            RECT side;
            COLORREF colour;
        } sides[] = {{filled, m_barTextColour}, {rest, RGB(0, 0, 0)}};
        for (const auto& part : sides) {
            // Clip regions are in device units, which start at the clip box here.
            HRGN clip = CreateRectRgn(part.side.left - box.left, part.side.top - box.top,
                                      part.side.right - box.left, part.side.bottom - box.top);
            SelectClipRgn(surface, clip);
            DeleteObject(clip);
            SetTextColor(surface, part.colour);
            RECT layout = client;
            DrawTextW(surface, m_text.c_str(), static_cast<int>(m_text.size()), &layout, format);
        }
        SelectClipRgn(surface, nullptr);
    }
    BitBlt(target, box.left, box.top, width, height, surface, box.left, box.top, SRCCOPY);
    if (oldFont != nullptr) {
        SelectObject(surface, oldFont);
    }
    SelectObject(surface, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(surface);
    EndPaint(m_window, &paint);
}
