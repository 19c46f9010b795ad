#include "console_test_support.h"

#include <QDir>
#include <QTest>

#include "config/config_testing.h"
#include "console/qt/console_testing.h"
#include "console/qt/hot_plug.h"
#include "console/qt/main_dialog.h"
#include "ports/ports_testing.h"

ConsoleSandbox::ConsoleSandbox() : m_previousDir(QDir::currentPath()) {
    if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path())) {
        qFatal("cannot make a temporary start-up directory");
    }
    CONFIG_ResetForTest();
    m_hadPortDir = qEnvironmentVariableIsSet("KOVIRW_PORT_DIR");
    m_previousPortDir = qgetenv("KOVIRW_PORT_DIR");
    qputenv("KOVIRW_PORT_DIR", PortDir().toUtf8());
    PORT_PUBLISHER_SetEnabledForTest(false);
    SetMessageBoxHook([this](const QString& caption, const QString& text,
                             QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
        captions << caption;
        messages << text;
        icons << icon;
        if (!answers.isEmpty()) {
            return answers.takeFirst();
        }
        return (buttons & QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
    });
    SetFileDialogHook([this](const FileDialogRequest& request) {
        dialogRequests << request;
        return dialogAnswers.isEmpty() ? QString() : dialogAnswers.takeFirst();
    });
}

ConsoleSandbox::~ConsoleSandbox() {
    SetMessageBoxHook(nullptr);
    SetFileDialogHook(nullptr);
    PORT_PUBLISHER_SetEnabledForTest(true);
    if (m_hadPortDir) {
        qputenv("KOVIRW_PORT_DIR", m_previousPortDir);
    } else {
        qunsetenv("KOVIRW_PORT_DIR");
    }
    QDir::setCurrent(m_previousDir);
    CONFIG_ResetForTest();
}

QString ConsoleSandbox::Path(const QString& name) const { return m_dir.filePath(name); }

std::unique_ptr<MainDialog> ConsoleSandbox::OpenWindow() const {
    return std::make_unique<MainDialog>();
}

std::unique_ptr<MainDialog> ConsoleSandbox::ShowWindow() const {
    auto window = OpenWindow();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        qFatal("the window did not appear");
    }
    return window;
}

QString Log(const MainDialog& window) { return QString::fromStdString(window.Core().LogText()); }
