// Test support for the Qt window. Not for production code: a hook answers the message boxes
// in place of the operator, another picks a path in the file dialogs (or cancels), so that no
// modal loop runs. Console thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

#include "console/qt/file_dialog.h"

using MessageBoxHook = std::function<QMessageBox::StandardButton(
    const QString& caption, const QString& text, QMessageBox::StandardButtons buttons,
    QMessageBox::Icon icon)>;

// Replaces the message boxes by `hook` (an empty hook brings the real boxes back).
void SetMessageBoxHook(MessageBoxHook hook);

// Returns the chosen path, or an empty text for a cancel.
using FileDialogHook = std::function<QString(const FileDialogRequest& request)>;

// Replaces the file dialogs by `hook` (an empty hook brings the real dialogs back).
void SetFileDialogHook(FileDialogHook hook);
