// Hot-plug sources: the port directory watcher, the COM numbers that udev's serial devices
// get (from recorded device properties), and the udev monitor on a machine that runs udev.
#include <poll.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "config/private_profile.h"
#include "console/port_dir_watcher.h"
#include "console/udev_monitor.h"
#include "console/udev_port_map.h"
#include "serial/port_directory.h"

namespace {

// Properties as `udevadm info --query=property` prints them for real devices.
DeviceProperties UsbSerial(const std::string& tty, const std::string& usbPort) {
    const std::string byPath =
        "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + usbPort + ":1.0-port0";
    return {{"ACTION", "add"},
            {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-" + usbPort + "/1-" + usbPort +
                            ":1.0/" + tty + "/tty/" + tty},
            {"DEVNAME", "/dev/" + tty},
            {"SUBSYSTEM", "tty"},
            {"ID_BUS", "usb"},
            {"ID_PATH", "pci-0000:00:14.0-usb-0:" + usbPort + ":1.0"},
            {"DEVLINKS", "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0 " + byPath}};
}

DeviceProperties Device(const std::string& devpath, const std::string& devname) {
    return {{"DEVPATH", devpath}, {"DEVNAME", devname}, {"SUBSYSTEM", "tty"}};
}

std::vector<std::pair<int, int>> Changes(const std::vector<PortChange>& changes) {
    std::vector<std::pair<int, int>> out;
    for (const PortChange& change : changes) {
        out.emplace_back(change.kind, change.com);
    }
    return out;
}

using Pairs = std::vector<std::pair<int, int>>;

// The changes a watcher reports until its descriptor has nothing more to read; fails when
// it does not go quiet within a few reads.
Pairs Settled(PortDirWatcher& watcher) {
    Pairs all;
    for (int reads = 0; reads < 8; ++reads) {
        pollfd waiting{watcher.Fd(), POLLIN, 0};
        if (poll(&waiting, 1, 0) == 0) {
            return all;
        }
        const Pairs more = Changes(watcher.ReadChanges());
        all.insert(all.end(), more.begin(), more.end());
    }
    return {{-1, -1}};
}
constexpr int A = PortChange::kArrival;
constexpr int R = PortChange::kRemoval;

}  // namespace

class HotPlugTest : public QObject {
    Q_OBJECT

  private slots:
    void watcherReportsEachChangeOnce() {
        QTemporaryDir temp;
        const QString dir = temp.filePath(QStringLiteral("a/ports"));  // made by Open
        PortDirWatcher watcher;
        std::string error;
        QVERIFY(watcher.Open(dir.toStdString(), &error));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM12")));
        QVERIFY(Changes(watcher.Rescan()) == Pairs({{A, 12}}));
        QVERIFY(watcher.ReadChanges().empty());  // the scan already reported it

        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir + QStringLiteral("/COM3")));
        QVERIFY(QFile::link(QStringLiteral("/gone"), dir + QStringLiteral("/COM4")));  // dangling
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COMX")));
        QVERIFY(QFile::remove(dir + QStringLiteral("/COM12")));
        QVERIFY(Changes(watcher.ReadChanges()) == Pairs({{A, 3}, {R, 12}}));
        QCOMPARE(PORT_DIRECTORY_Describe(dir.toStdString(), 3), std::string("/dev/zero"));
        QCOMPARE(PORT_DIRECTORY_Describe(dir.toStdString(), 12), std::string());
        // A link chain is described by its first target and its end, a plain file by itself.
        const std::string root = temp.path().toStdString();
        QVERIFY(QFile::link(dir + QStringLiteral("/COM3"), temp.filePath(QStringLiteral("COM1"))));
        QFile plain(temp.filePath(QStringLiteral("COM2")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QCOMPARE(PORT_DIRECTORY_Describe(root, 1), dir.toStdString() + "/COM3 (/dev/zero)");
        QCOMPARE(PORT_DIRECTORY_Describe(root, 2), root + "/COM2");

        // The directory removed, renamed away, renamed and made anew, and events lost: each
        // is one rescan of the directory of that name, after which the watcher is quiet.
        QVERIFY(QDir(dir).removeRecursively());
        QVERIFY(Settled(watcher) == Pairs({{R, 3}}));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM5")));
        QVERIFY(Settled(watcher) == Pairs({{A, 5}}));
        QCOMPARE(watcher.Rescans(), 1);
        QVERIFY(QDir().rename(dir, dir + QStringLiteral(".1")));
        QVERIFY(Settled(watcher) == Pairs({{R, 5}}));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral(".1/COM6")));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM7")));
        QVERIFY(Settled(watcher) == Pairs({{A, 7}}));  // the name is followed, not the folder
        QVERIFY(QDir().rename(dir, dir + QStringLiteral(".2")) && QDir().mkdir(dir));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM8")));
        QVERIFY(Settled(watcher) == Pairs({{R, 7}, {A, 8}}));
        QCOMPARE(watcher.Rescans(), 3);
        QFile limit(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
        const int queued = limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toInt() : 0;
        if (queued <= 0 || queued > 100000) {
            QSKIP("the kernel's event queue is too long to overflow here");
        }
        for (int i = 0; i <= queued / 2; ++i) {
            QFile flood(dir + QStringLiteral("/flood"));
            QVERIFY(flood.open(QIODevice::WriteOnly) && flood.remove());
        }
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/COM9")));
        QVERIFY(Settled(watcher) == Pairs({{A, 9}}));
        QCOMPARE(watcher.Rescans(), 4);
    }

    void onlyRealSerialPortsCount() {
        QVERIFY(UDEV_IsSerialPort(UsbSerial("ttyUSB0", "2")));
        QVERIFY(UDEV_IsSerialPort(Device(
            "/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0", "/dev/ttyACM0")));
        QVERIFY(UDEV_IsSerialPort(Device("/devices/pnp0/00:04/tty/ttyS0", "/dev/ttyS0")));
        QVERIFY(!UDEV_IsSerialPort(
            Device("/devices/platform/serial8250/tty/ttyS5", "/dev/ttyS5")));  // placeholder
        QVERIFY(!UDEV_IsSerialPort(Device("/devices/virtual/tty/tty3", "/dev/tty3")));
        QVERIFY(!UDEV_IsSerialPort(Device("/devices/virtual/tty/ptmx", "/dev/ptmx")));
        DeviceProperties block = UsbSerial("ttyUSB0", "2");
        block["SUBSYSTEM"] = "block";
        QVERIFY(!UDEV_IsSerialPort(block));

        QCOMPARE(UDEV_StablePath(UsbSerial("ttyUSB7", "4")),
                 std::string("/dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0"));
        QCOMPARE(UDEV_StablePath(Device("/devices/pnp0/00:04/tty/ttyS0", "/dev/ttyS0")),
                 std::string("/dev/ttyS0"));
    }

    // A physical USB port keeps its COM number across plug-ins and restarts; the numbers
    // live in section PORTS of the settings file.
    void usbPortsKeepTheirNumbers() {
        QTemporaryDir temp;
        const std::string ini = temp.filePath(QStringLiteral("kovirw.ini")).toStdString();
        const std::string ports = temp.filePath(QStringLiteral("ports")).toStdString();
        QVERIFY(QDir().mkpath(QString::fromStdString(ports)));
        QVERIFY(PrivateProfile_WriteString("KOVIR", "AUTODETECT", "1", ini.c_str()));
        // COM1 is a simulated terminal's; udev's devices must leave it alone.
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), QString::fromStdString(ports + "/COM1")));
        std::string error;
        {
            UdevPortMap map(ini, ports);
            QCOMPARE(map.Handle(UsbSerial("ttyUSB0", "2"), &error), 2);
            QCOMPARE(QFile::symLinkTarget(QString::fromStdString(ports + "/COM2")),
                     QStringLiteral("/dev/ttyUSB0"));
            QCOMPARE(map.Handle(UsbSerial("ttyUSB1", "3"), &error), 3);
            QCOMPARE(map.Handle(UsbSerial("ttyUSB0", "2"), &error), 0);  // already there
            QCOMPARE(map.Handle(Device("/devices/virtual/tty/tty3", "/dev/tty3"), &error), 0);

            // Unplugged from port 2 and plugged in again as another tty: the same number.
            DeviceProperties removed = UsbSerial("ttyUSB0", "2");
            removed["ACTION"] = "remove";
            QCOMPARE(map.Handle(removed, &error), 2);
            QVERIFY(!QFileInfo(QString::fromStdString(ports + "/COM2")).isSymLink());
            QCOMPARE(map.Handle(UsbSerial("ttyUSB4", "2"), &error), 2);
            QCOMPARE(QFile::symLinkTarget(QString::fromStdString(ports + "/COM2")),
                     QStringLiteral("/dev/ttyUSB4"));
        }
        // The map withdrew its entries when it ended; the terminal's stays.
        QVERIFY(!QFileInfo(QString::fromStdString(ports + "/COM2")).isSymLink());
        QVERIFY(!QFileInfo(QString::fromStdString(ports + "/COM3")).isSymLink());
        QVERIFY(QFileInfo(QString::fromStdString(ports + "/COM1")).isSymLink());

        const IniKeyValues kept = PrivateProfile_GetSection("PORTS", ini.c_str());
        QVERIFY(kept.size() == 2);
        QCOMPARE(kept[0].first, std::string("COM2"));
        QCOMPARE(kept[0].second, UDEV_StablePath(UsbSerial("ttyUSB0", "2")));
        QCOMPARE(PrivateProfileReader(ini.c_str()).GetInt("KOVIR", "AUTODETECT", 0), 1u);

        // After a restart the same places get the same numbers, in any order; an edited key
        // moves a place to the number the user chose.
        QVERIFY(PrivateProfile_WriteString(
            "PORTS", "com9", UDEV_StablePath(UsbSerial("x", "3")).c_str(), ini.c_str()));
        QVERIFY(PrivateProfile_WriteString("PORTS", "COM3", nullptr, ini.c_str()));
        UdevPortMap map(ini, ports);
        QCOMPARE(map.Handle(UsbSerial("ttyUSB0", "3"), &error), 9);
        QCOMPARE(map.Handle(UsbSerial("ttyUSB1", "2"), &error), 2);
        QCOMPARE(map.Handle(UsbSerial("ttyUSB2", "5"), &error), 3);  // 1, 2 and 9 are taken
    }

    void aNumberHeldByAnotherProgramIsNotTakenOver() {
        QTemporaryDir temp;
        const std::string ini = temp.filePath(QStringLiteral("kovirw.ini")).toStdString();
        const std::string ports = temp.path().toStdString();
        const DeviceProperties adapter = UsbSerial("ttyUSB0", "2");
        QVERIFY(PrivateProfile_WriteString("PORTS", "COM4", UDEV_StablePath(adapter).c_str(),
                                           ini.c_str()));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), QString::fromStdString(ports + "/COM4")));
        UdevPortMap map(ini, ports);
        std::string error;
        QCOMPARE(map.Handle(adapter, &error), 0);
        QVERIFY(error.find("COM4") != std::string::npos);
        QCOMPARE(QFile::symLinkTarget(QString::fromStdString(ports + "/COM4")),
                 QStringLiteral("/dev/null"));

        // A link left behind by an earlier run that leads nowhere is replaced.
        QVERIFY(QFile::remove(QString::fromStdString(ports + "/COM4")));
        QVERIFY(QFile::link(QStringLiteral("/dev/gone"), QString::fromStdString(ports + "/COM4")));
        QCOMPARE(map.Handle(adapter, &error), 4);
    }

    // Needs a running udev daemon (not on build machines): the monitor subscribes, and the
    // devices found now are real ones.
    void udevMonitorOnThisMachine() {
        if (!UdevMonitor::DaemonRunning()) {
            QSKIP("udev does not run on this machine");
        }
        UdevMonitor monitor;
        QVERIFY(monitor.Open());
        QVERIFY(monitor.Fd() >= 0);
        const std::vector<DeviceProperties> devices = monitor.Enumerate();
        QVERIFY(!devices.empty());  // at least the virtual terminals
        QTemporaryDir temp;
        UdevPortMap map(std::string(), temp.path().toStdString());
        for (const DeviceProperties& device : devices) {
            QVERIFY(device.count("DEVPATH") == 1);
            QCOMPARE(device.at("SUBSYSTEM"), std::string("tty"));
            std::string error;
            const int com = map.Handle(device, &error);
            if (com > 0) {
                QVERIFY(QFileInfo::exists(temp.filePath(QStringLiteral("COM%1").arg(com))));
            }
        }
        DeviceProperties none;
        QVERIFY(!monitor.Receive(&none) || none.count("ACTION") == 1);
    }
};

QTEST_MAIN(HotPlugTest)
#include "console_hot_plug_test.moc"
