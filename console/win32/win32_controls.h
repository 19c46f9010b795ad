// The window's own controls on Win32, attached by subclassing controls of the dialog
// template (comctl32's SetWindowSubclass):
//   PercentBar        a progress bar that draws itself, with its text in two colours that
//                     change exactly at the bar's edge, drawn off-screen in one copy;
//   HexAddressEdit    an edit field that takes typed hexadecimal digits only, at most 8,
//                     in upper case (control characters of shortcuts dropped);
//   ReadOnlyTextEdit  an edit field that takes no typed character at all.
// Key-down editing (Delete, cursor keys) and the context menu stay the edit field's own.
// Window thread only.
#pragma once

#include <windows.h>

#include <string>

#include "console/core/percent_bar_model.h"

class PercentBar {
  public:
    PercentBar();
    ~PercentBar();
    PercentBar(const PercentBar&) = delete;
    PercentBar& operator=(const PercentBar&) = delete;

    // Takes over the progress bar control `window`.
    void Attach(HWND window);

    void SetRange(int lower, int upper) { m_model.SetRange(lower, upper); }
    // Returns the previous position, or -1 before Attach. Repaints at once when the bar's
    // width in whole pixels changes.
    int SetPos(int newPosition);

    const std::wstring& Text() const { return m_text; }
    int Pos() const { return m_model.Pos(); }
    int Lower() const { return m_model.Lower(); }
    int Upper() const { return m_model.Upper(); }
    // Paints received since Attach (a test's measure of "repaints only when needed").
    int Paints() const { return m_paints; }

  private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    HWND m_window = nullptr;
    PercentBarModel m_model;
    std::wstring m_text;
    HFONT m_font = nullptr;  // the font the dialog gave the control
    COLORREF m_barColour;
    COLORREF m_backColour;
    COLORREF m_barTextColour;
    int m_paints = 0;
};

// Takes over an edit field as a HexAddressEdit or a ReadOnlyTextEdit.
void WIN32_AttachHexAddressEdit(HWND edit);
void WIN32_AttachReadOnlyTextEdit(HWND edit);
