#include "console/qt/address_edit.h"

#include <QKeyEvent>

#include "console/core/operator_text.h"

namespace {

// What a key press is to an address field, seen as the platform's character input sees it.
enum class KeyUse {
    kEditing,   // key-down editing (cursor, Delete, Insert, Enter, Tab...): the field's own
    kTyping,    // types the event's text, or backspace
    kShortcut,  // Ctrl with a key that types a control character (Ctrl+V, Ctrl+X, Ctrl+Z...)
    kMenuKey,   // Alt or Meta with a key: the window's, never the field's text
};

KeyUse Classify(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Insert:
        case Qt::Key_Delete:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Escape:
            return KeyUse::kEditing;
        default:
            break;
    }
    const Qt::KeyboardModifiers held =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // Ctrl and Alt together is AltGr on some keyboards: it types characters.
    if (held == Qt::ControlModifier) {
        return KeyUse::kShortcut;
    }
    if (held == Qt::AltModifier || (held & Qt::MetaModifier)) {
        return KeyUse::kMenuKey;
    }
    if (event->key() == Qt::Key_Backspace) {
        return KeyUse::kTyping;
    }
    const QString text = event->text();
    for (const QChar c : text) {
        if (!c.isPrint()) {
            return KeyUse::kEditing;
        }
    }
    return text.isEmpty() ? KeyUse::kEditing : KeyUse::kTyping;
}

// Drops a press that must not reach the field; a menu key goes on to the window.
void Drop(QKeyEvent* event, KeyUse use) { event->setAccepted(use != KeyUse::kMenuKey); }

// Fields never take composed input: an input method would bypass the typing filter.
void PrepareAddressField(QLineEdit* field) {
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->setAcceptDrops(false);
}

}  // namespace

HexAddressEdit::HexAddressEdit(QWidget* parent) : QLineEdit(parent) { PrepareAddressField(this); }

void HexAddressEdit::keyPressEvent(QKeyEvent* event) {
    const KeyUse use = Classify(event);
    if (use == KeyUse::kEditing || (use == KeyUse::kTyping && event->key() == Qt::Key_Backspace)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QString accepted;
    if (use == KeyUse::kTyping) {
        for (const QChar c : event->text()) {
            const char32_t kept = OPERATOR_HexFieldChar(
                c.unicode(), static_cast<size_t>(text().length() + accepted.length()));
            if (kept != 0) {
                accepted += QChar(static_cast<char16_t>(kept));
            }
        }
    }
    if (accepted.isEmpty()) {
        Drop(event, use);
        return;
    }
    QKeyEvent filtered(event->type(), event->key(), event->modifiers(), accepted,
                       event->isAutoRepeat(), static_cast<ushort>(event->count()));
    QLineEdit::keyPressEvent(&filtered);
    event->setAccepted(filtered.isAccepted());
}

ReadOnlyTextEdit::ReadOnlyTextEdit(QWidget* parent) : QLineEdit(parent) {
    PrepareAddressField(this);
}

void ReadOnlyTextEdit::keyPressEvent(QKeyEvent* event) {
    const KeyUse use = Classify(event);
    if (use == KeyUse::kEditing) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    Drop(event, use);
}
