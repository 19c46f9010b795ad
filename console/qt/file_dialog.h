// The console's open-file and save-file dialogs.
//
// Filters are written as label|pattern pairs separated by vertical bars (the notation the
// profile and image filters are kept in) and converted to Qt's notation here. Console thread
// only.
#pragma once

#include <QString>

class QWidget;

struct FileDialogRequest {
    enum Kind { kOpen, kSave };
    Kind kind;
    QString filter;         // Qt notation, as ConvertFilter makes it
    QString defaultSuffix;  // appended to a typed name without one; empty = none
    QString directory;      // the folder the dialog opens in
};

// "Label(*.x)|*.x|All Files(*.*)|*.*|" becomes "Label(*.x) (*.x);;All Files(*.*) (*)":
// each label keeps its text, patterns separated by ';' are separated by spaces, and "*.*"
// becomes "*" so that names without a dot are listed too. An empty pair ends the list.
QString ConvertFilter(const QString& barFilter);

// Shows the dialog in *folder and returns the chosen absolute path, or an empty text when the
// operator cancels; a chosen path's folder becomes *folder, so the next dialog opens where
// this one was left.
QString ChooseFile(QWidget* parent, FileDialogRequest::Kind kind, const QString& barFilter,
                   const QString& defaultSuffix, QString* folder);
