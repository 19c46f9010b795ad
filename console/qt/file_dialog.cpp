#include "console/qt/file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "console/qt/console_testing.h"

namespace {

FileDialogHook& Hook() {
    static FileDialogHook hook;
    return hook;
}

QString RunDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    dialog.setDirectory(request.directory);
    dialog.setNameFilter(request.filter);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!request.defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(request.defaultSuffix);
    }
    if (request.kind == FileDialogRequest::kSave) {
        // A new profile name must be possible, and saving over a profile replaces only the
        // profile's own keys, so no existence check and no overwrite question.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

void SetFileDialogHook(FileDialogHook hook) { Hook() = std::move(hook); }

QString ConvertFilter(const QString& barFilter) {
    const QStringList parts = barFilter.split(u'|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& label = parts[i];
        if (label.isEmpty()) {
            break;
        }
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) {
                pattern = QStringLiteral("*");
            }
        }
        entries << QStringLiteral("%1 (%2)").arg(label, patterns.join(u' '));
    }
    return entries.join(QStringLiteral(";;"));
}

QString ChooseFile(QWidget* parent, FileDialogRequest::Kind kind, const QString& barFilter,
                   const QString& defaultSuffix, QString* folder) {
    const FileDialogRequest request{kind, ConvertFilter(barFilter), defaultSuffix, *folder};
    const QString path = Hook() ? Hook()(request) : RunDialog(parent, request);
    if (path.isEmpty()) {
        return path;
    }
    *folder = QFileInfo(path).absolutePath();
    return path;
}
