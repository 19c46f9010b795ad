// The flash address fields of the image rows.
//
// HexAddressEdit takes typed hexadecimal digits only, at most eight, shown in upper case.
// ReadOnlyTextEdit takes no typed characters at all; the program sets its text.
// Both filter what typing produces, keyboard shortcuts included: Ctrl with a letter (Ctrl+V,
// Ctrl+X, Ctrl+Z, Ctrl+A...) types a control character, which both drop, so those shortcuts
// do nothing here; Alt and Meta presses go to the window. Key-down editing works as in any
// field: the cursor keys, Delete, and the Insert/Delete combinations (Shift+Insert pastes,
// Shift+Delete cuts), as does the context menu; pasted text is not filtered (the field's
// maximum length still holds). Console thread only.
#pragma once

#include <QLineEdit>

class QKeyEvent;

class HexAddressEdit : public QLineEdit {
    Q_OBJECT

  public:
    static constexpr int kMaxTypedDigits = 8;

    explicit HexAddressEdit(QWidget* parent = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class ReadOnlyTextEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit ReadOnlyTextEdit(QWidget* parent = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
