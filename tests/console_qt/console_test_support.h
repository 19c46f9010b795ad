// Test support for the console: a start-up directory of its own for each window, and
// message boxes and file dialogs answered by the test instead of an operator.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

#include "console/qt/console_testing.h"
#include "tests/support/test_files.h"

class MainDialog;

class ConsoleSandbox {
  public:
    // Makes a temporary directory current (the window's start-up directory), resets the
    // configuration to its program-start state and takes over the boxes and dialogs. The
    // window's port directory is the empty folder "ports" in it, and the machine's own
    // serial devices stay out of it.
    ConsoleSandbox();
    // Gives back the previous current directory and port directory, the real boxes and
    // dialogs.
    ~ConsoleSandbox();

    ConsoleSandbox(const ConsoleSandbox&) = delete;
    ConsoleSandbox& operator=(const ConsoleSandbox&) = delete;

    QString Path(const QString& name) const;
    // The port directory of the windows opened here.
    QString PortDir() const { return Path(QStringLiteral("ports")); }
    void WriteFile(const QString& name, const QByteArray& bytes) const {
        WriteText(Path(name).toStdString(), bytes.toStdString());
    }
    QByteArray ReadFile(const QString& name) const {
        return QByteArray::fromStdString(ReadText(Path(name).toStdString()));
    }

    // A window started in this directory, as the program starts it; ShowWindow also shows it
    // and waits until it is on the screen.
    std::unique_ptr<MainDialog> OpenWindow() const;
    std::unique_ptr<MainDialog> ShowWindow() const;

    // Message boxes shown so far, oldest first.
    QStringList messages;
    QStringList captions;
    QList<QMessageBox::Icon> icons;
    // Answers for the next boxes, oldest first; with none left, OK or No.
    QList<QMessageBox::StandardButton> answers;

    // Paths the next file dialogs return, oldest first; an empty text or none left cancels.
    QStringList dialogAnswers;
    QList<FileDialogRequest> dialogRequests;

  private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    QByteArray m_previousPortDir;
    bool m_hadPortDir = false;
};

// The window's log as text.
QString Log(const MainDialog& window);

// The window's control named `name` (fails the whole test run when it is missing).
template <typename T>
T* Control(const QWidget* window, const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) {
        qFatal("the window has no control named %s of the expected kind", name);
    }
    return control;
}

inline QPushButton* Button(const QWidget& window, const char* name) {
    return Control<QPushButton>(&window, name);
}
