// Message boxes of the console. Every box carries the program's name (the executable's
// file name without extension) as its caption; no caller passes a caption of its own.
//
// Tests install a hook that answers in place of the operator, so no modal loop runs.
// Console thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

using MessageBoxHook = std::function<QMessageBox::StandardButton(
    const QString& caption, const QString& text, QMessageBox::StandardButtons buttons,
    QMessageBox::Icon icon)>;

// Replaces the message boxes by `hook` (an empty hook brings the real boxes back).
void SetMessageBoxHook(MessageBoxHook hook);

// The caption of every message box.
QString ApplicationCaption();

// Shows `text` with an OK button and a warning icon; returns when it is answered.
void ShowNotice(QWidget* parent, const QString& text);

// Shows `text` with Yes and No buttons; returns true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Shows `text` with an OK button and a stop icon, for file errors.
void ShowFileError(QWidget* parent, const QString& text);
