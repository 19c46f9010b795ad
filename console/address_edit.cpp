#include "console/address_edit.h"

#include <QKeyEvent>

namespace {

// The characters a key press types, or an empty text when the press is editing rather than
// typing: cursor and Delete keys, Enter, Tab and Escape (which the dialog handles), and
// shortcuts with Ctrl, Alt or Meta. Backspace is reported as the backspace character.
QString TypedText(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        return QString(QChar(u'\b'));
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return QString();
    }
    const QString text = event->text();
    for (const QChar c : text) {
        if (!c.isPrint()) {
            return QString();
        }
    }
    return text;
}

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Fields never take composed input: an input method would bypass the typing filter.
void PrepareAddressField(QLineEdit* field) {
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->setAcceptDrops(false);
}

}  // namespace

HexAddressEdit::HexAddressEdit(QWidget* parent) : QLineEdit(parent) {
    PrepareAddressField(this);
}

void HexAddressEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = TypedText(event);
    if (typed.isEmpty() || typed == QString(QChar(u'\b'))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // The limit counts the whole text, selected characters included, so a full field
    // refuses digits even when typing would replace a selection.
    QString accepted;
    for (const QChar c : typed) {
        if (IsHexDigit(c) && text().length() + accepted.length() < kMaxTypedDigits) {
            accepted += c.toUpper();
        }
    }
    if (accepted.isEmpty()) {
        event->accept();
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
    if (TypedText(event).isEmpty()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
}
