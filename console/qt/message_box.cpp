#include "console/qt/message_box.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "console/qt/console_testing.h"

namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::StandardButton Show(QWidget* parent, const QString& text,
                                 QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
    const QString caption = ApplicationCaption();
    if (Hook()) {
        return Hook()(caption, text, buttons, icon);
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

QString ApplicationCaption() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void ShowNotice(QWidget* parent, const QString& text) {
    Show(parent, text, QMessageBox::Ok, QMessageBox::Warning);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    return Show(parent, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) ==
           QMessageBox::Yes;
}

void ShowFileError(QWidget* parent, const QString& text) {
    Show(parent, text, QMessageBox::Ok, QMessageBox::Critical);
}
