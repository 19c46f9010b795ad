// Message boxes of the console. Every box carries the program's name (the executable's
// file name without extension) as its caption; no caller passes a caption of its own.
// Console thread only.
#pragma once

#include <QString>

class QWidget;

// The caption of every message box.
QString ApplicationCaption();

// Shows `text` with an OK button and a warning icon; returns when it is answered.
void ShowNotice(QWidget* parent, const QString& text);

// Shows `text` with Yes and No buttons; returns true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Shows `text` with an OK button and a stop icon, for file errors.
void ShowFileError(QWidget* parent, const QString& text);
