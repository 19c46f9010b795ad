// The flash address fields of the image rows.
//
// HexAddressEdit takes typed hexadecimal digits only, at most eight, shown in upper case.
// ReadOnlyTextEdit takes no typed characters at all; the program sets its text.
// Both filter only what typing produces: the Delete and cursor keys, shortcuts such as
// paste, and the context menu work as in any field, so pasted text is not filtered (the
// field's maximum length still holds). Console thread only.
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
