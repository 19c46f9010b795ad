#include "console/hot_plug.h"

#include <QSocketNotifier>
#include <cstdio>

#include "config/settings.h"
#include "console/udev_monitor.h"
#include "console/udev_port_map.h"
#include "serial/port_directory.h"

namespace {

bool s_udevEnabled = true;

void Warn(const std::string& text) { std::fprintf(stderr, "kovirw: %s\n", text.c_str()); }

}  // namespace

void HotPlug::SetUdevEnabled(bool enabled) { s_udevEnabled = enabled; }

HotPlug::HotPlug(Callback callback) : m_callback(std::move(callback)) {}

HotPlug::~HotPlug() {
    // The notifiers go before what they watch.
    m_udevNotifier.reset();
    m_dirNotifier.reset();
    m_udevPorts.reset();
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
    if (!s_udevEnabled || !UdevMonitor::DaemonRunning()) {
        return;
    }
    auto monitor = std::make_unique<UdevMonitor>();
    if (!monitor->Open()) {
        Warn("udev's device events cannot be received");
        return;
    }
    char settingsPath[CONFIG_MAX_PATH + 1];
    CONFIG_SettingsPath(settingsPath);
    m_udevPorts = std::make_unique<UdevPortMap>(settingsPath, portDir);
    m_udev = std::move(monitor);
    for (const DeviceProperties& device : m_udev->Enumerate()) {
        std::string error;
        if (m_udevPorts->Handle(device, &error) == 0 && !error.empty()) {
            Warn(error);
        }
    }
    m_udevNotifier = std::make_unique<QSocketNotifier>(m_udev->Fd(), QSocketNotifier::Read);
    QObject::connect(m_udevNotifier.get(), &QSocketNotifier::activated, m_udevNotifier.get(),
                     [this] { ReadUdev(); });
}

void HotPlug::ReadDirectory() { Report(m_watcher.ReadChanges()); }

void HotPlug::ReadUdev() {
    DeviceProperties device;
    while (m_udev->Receive(&device)) {
        std::string error;
        if (m_udevPorts->Handle(device, &error) == 0 && !error.empty()) {
            Warn(error);
        }
    }
}

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
