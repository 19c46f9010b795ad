#include "console/qt/hot_plug.h"

#include <QSocketNotifier>
#include <cstdio>

#include "config/settings.h"
#include "ports/port_publisher.h"
#include "serial/port_directory.h"

namespace {

void Warn(const std::string& text) { std::fprintf(stderr, "kovirw: %s\n", text.c_str()); }

}  // namespace

HotPlug::HotPlug(Callback callback) : m_callback(std::move(callback)) {}

HotPlug::~HotPlug() {
    m_dirNotifier.reset();  // before what it watches
    m_publisher.reset();
}

std::string HotPlug::Dir() const { return m_watching ? m_watcher.Dir() : std::string(); }

void HotPlug::Start() {
    const std::string dir = PORT_DIRECTORY_Path();
    std::string error;
    std::string warning;
    if (!PORT_DIRECTORY_Ensure(dir, &error, &warning)) {
        Warn(error);
        return;
    }
    if (!warning.empty()) {
        Warn("warning: " + warning);
    }
    // udev's devices are published before the directory is read, so that they count among
    // the ports present at start-up rather than arriving a moment later.
    StartUdev(dir);
    if (!m_watcher.Open(dir, &error)) {
        Warn("the port directory cannot be watched: " + error);
        return;
    }
    m_watching = true;
    m_dirNotifier = std::make_unique<QSocketNotifier>(m_watcher.Fd(), QSocketNotifier::Read);
    QObject::connect(m_dirNotifier.get(), &QSocketNotifier::activated, m_dirNotifier.get(),
                     [this] { ReadDirectory(); });
    m_watcher.Rescan();
}

void HotPlug::StartUdev(const std::string& portDir) {
    char settingsPath[CONFIG_MAX_PATH + 1];
    CONFIG_SettingsPath(settingsPath);
    m_publisher = std::make_unique<PortPublisher>();
    std::string why;
    if (!m_publisher->Start(settingsPath, portDir, Warn, &why)) {
        m_publisher.reset();
    }
}

void HotPlug::ReadDirectory() { Report(m_watcher.ReadChanges()); }

std::vector<std::pair<int, QString>> HotPlug::Present() const {
    std::vector<std::pair<int, QString>> present;
    if (m_watching) {
        for (const PortChange& port : m_watcher.Present()) {
            present.emplace_back(port.com, QString::fromStdString(
                                               PORT_DIRECTORY_Describe(m_watcher.Dir(), port.com)));
        }
    }
    return present;
}

void HotPlug::Report(const std::vector<PortChange>& changes) {
    for (const PortChange& change : changes) {
        const QString path =
            change.kind == PortChange::kArrival
                ? QString::fromStdString(PORT_DIRECTORY_Describe(m_watcher.Dir(), change.com))
                : QString();
        m_callback(change.kind, change.com, path);
    }
}
