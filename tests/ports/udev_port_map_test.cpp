// The udev publisher's rules on recorded device properties: which devices are ports, the
// numbers their physical places keep, and two publishers on one port directory.
#include "ports/udev_port_map.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "config/private_profile.h"
#include "ports/port_list.h"
#include "ports/udev_monitor.h"
#include "tests/support/test_files.h"

namespace {

// Properties as `udevadm info --query=property` prints them for real devices.
DeviceProperties UsbSerial(const std::string& tty, const std::string& usbPort,
                           const char* action = "add") {
    const std::string byPath =
        "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + usbPort + ":1.0-port0";
    return {{"ACTION", action},
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

std::string LinkOf(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<size_t>(n));
}

bool Present(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(UdevPortMap, OnlyRealSerialPortsCount) {
    EXPECT_TRUE(UDEV_IsSerialPort(UsbSerial("ttyUSB0", "2")));
    EXPECT_TRUE(UDEV_IsSerialPort(
        Device("/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0", "/dev/ttyACM0")));
    EXPECT_TRUE(UDEV_IsSerialPort(Device("/devices/pnp0/00:04/tty/ttyS0", "/dev/ttyS0")));
    EXPECT_FALSE(UDEV_IsSerialPort(
        Device("/devices/platform/serial8250/tty/ttyS5", "/dev/ttyS5")));  // placeholder
    EXPECT_FALSE(UDEV_IsSerialPort(Device("/devices/virtual/tty/tty3", "/dev/tty3")));
    EXPECT_FALSE(UDEV_IsSerialPort(Device("/devices/virtual/tty/ptmx", "/dev/ptmx")));
    DeviceProperties block = UsbSerial("ttyUSB0", "2");
    block["SUBSYSTEM"] = "block";
    EXPECT_FALSE(UDEV_IsSerialPort(block));

    EXPECT_EQ(UDEV_StablePath(UsbSerial("ttyUSB7", "4")),
              "/dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0");
    EXPECT_EQ(UDEV_StablePath(Device("/devices/pnp0/00:04/tty/ttyS0", "/dev/ttyS0")), "/dev/ttyS0");
}

// A physical USB port keeps its COM number across plug-ins and restarts; the numbers live in
// section PORTS of the settings file.
TEST(UdevPortMap, UsbPortsKeepTheirNumbers) {
    ScratchDir temp;
    const std::string ini = temp.File("kovirw.ini");
    const std::string ports = temp.Path();
    ASSERT_TRUE(PrivateProfile_WriteString("KOVIR", "AUTODETECT", "1", ini.c_str()));
    // COM1 is a simulated terminal's; udev's devices must leave it alone.
    ASSERT_EQ(symlink("/dev/null", (ports + "/COM1").c_str()), 0);
    std::string error;
    {
        UdevPortMap map(ini, ports);
        EXPECT_EQ(map.Handle(UsbSerial("ttyUSB0", "2"), &error), 2);
        EXPECT_EQ(LinkOf(ports + "/COM2"), "/dev/ttyUSB0");
        EXPECT_EQ(map.Handle(UsbSerial("ttyUSB1", "3"), &error), 3);
        EXPECT_EQ(map.Handle(UsbSerial("ttyUSB0", "2"), &error), 0);  // already there
        EXPECT_EQ(map.Handle(Device("/devices/virtual/tty/tty3", "/dev/tty3"), &error), 0);

        // Unplugged from port 2 and plugged in again as another tty: the same number.
        EXPECT_EQ(map.Handle(UsbSerial("ttyUSB0", "2", "remove"), &error), 2);
        EXPECT_FALSE(Present(ports + "/COM2"));
        EXPECT_EQ(map.Handle(UsbSerial("ttyUSB4", "2"), &error), 2);
        EXPECT_EQ(LinkOf(ports + "/COM2"), "/dev/ttyUSB4");
    }
    // The map withdrew its entries (and their owner files) when it ended; the terminal's stays.
    EXPECT_EQ(temp.Names(), std::vector<std::string>({".publishers", "COM1", "kovirw.ini"}));

    const IniKeyValues kept = PrivateProfile_GetSection("PORTS", ini.c_str());
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].first, "COM2");
    EXPECT_EQ(kept[0].second, UDEV_StablePath(UsbSerial("ttyUSB0", "2")));
    EXPECT_EQ(PrivateProfileReader(ini.c_str()).GetInt("KOVIR", "AUTODETECT", 0), 1u);

    // After a restart the same places get the same numbers, in any order; an edited key
    // moves a place to the number the user chose.
    ASSERT_TRUE(PrivateProfile_WriteString(
        "PORTS", "com9", UDEV_StablePath(UsbSerial("x", "3")).c_str(), ini.c_str()));
    ASSERT_TRUE(PrivateProfile_WriteString("PORTS", "COM3", nullptr, ini.c_str()));
    UdevPortMap map(ini, ports);
    EXPECT_EQ(map.Handle(UsbSerial("ttyUSB0", "3"), &error), 9);
    EXPECT_EQ(map.Handle(UsbSerial("ttyUSB1", "2"), &error), 2);
    EXPECT_EQ(map.Handle(UsbSerial("ttyUSB2", "5"), &error), 3);  // 1, 2 and 9 are taken
    EXPECT_EQ(error, "");
}

TEST(UdevPortMap, ANumberHeldByAnotherProgramIsNotTakenOver) {
    ScratchDir temp;
    const std::string ini = temp.File("kovirw.ini");
    const std::string ports = temp.Path();
    const DeviceProperties adapter = UsbSerial("ttyUSB0", "2");
    ASSERT_TRUE(
        PrivateProfile_WriteString("PORTS", "COM4", UDEV_StablePath(adapter).c_str(), ini.c_str()));
    ASSERT_EQ(symlink("/dev/null", (ports + "/COM4").c_str()), 0);
    UdevPortMap map(ini, ports);
    std::string error;
    EXPECT_EQ(map.Handle(adapter, &error), 0);
    EXPECT_NE(error.find("COM4"), std::string::npos);
    EXPECT_EQ(LinkOf(ports + "/COM4"), "/dev/null");
    int pid = -1;
    EXPECT_EQ(UDEV_EntryOwner(ports, 4, &pid), EntryOwner::kNone);  // still the user's

    // A link left behind by an earlier run that leads nowhere is replaced.
    ASSERT_EQ(unlink((ports + "/COM4").c_str()), 0);
    ASSERT_EQ(symlink("/dev/gone", (ports + "/COM4").c_str()), 0);
    EXPECT_EQ(map.Handle(UsbSerial("ttyUSB0", "2", "change"), &error), 4);
}

// Two programs on one port directory (two maps stand for them: each holds its own locks).
// One publishes, the other only notes the device; an entry is withdrawn only by its
// publisher, and when the publisher ends first the other adopts the entry as it stands.
TEST(UdevPortMap, TwoPublishersNeverFightOverAnEntry) {
    ScratchDir temp;
    const std::string ini = temp.File("kovirw.ini");
    const std::string ports = temp.Path();
    const std::string com1 = ports + "/COM1";
    // Device nodes that exist, so that the entries count as ports present.
    const DeviceProperties first = UsbSerial("zero", "2");
    const DeviceProperties second = UsbSerial("null", "3");
    std::string error;
    auto window = std::make_unique<UdevPortMap>(ini, ports);
    EXPECT_EQ(window->Handle(first, &error), 1);
    {
        UdevPortMap station(ini, ports);
        EXPECT_EQ(station.Handle(first, &error), 0);
        EXPECT_EQ(error, "");
        EXPECT_FALSE(station.Publishes(1));
        EXPECT_TRUE(station.Adopt(&error).empty());  // its publisher still runs
        int pid = 0;
        EXPECT_EQ(UDEV_EntryOwner(ports, 1, &pid), EntryOwner::kLive);
        EXPECT_EQ(pid, getpid());
        const std::vector<PortListing> listed =
            PORTS_List(ports, [&](int com) { return station.Publishes(com); });
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].source, PortListing::kOtherProgram);
        EXPECT_EQ(listed[0].stablePath, "/dev/zero");
    }
    EXPECT_EQ(LinkOf(com1), "/dev/zero");  // the station's end left the window's entry

    // The window ends while a station runs: the entry stays, and the station adopts it.
    UdevPortMap station(ini, ports);
    EXPECT_EQ(station.Handle(first, &error), 0);
    window.reset();
    EXPECT_EQ(LinkOf(com1), "/dev/zero");
    int pid = 0;
    EXPECT_EQ(UDEV_EntryOwner(ports, 1, &pid), EntryOwner::kEnded);
    EXPECT_EQ(PORTS_List(ports, [&](int com) { return station.Publishes(com); }).at(0).source,
              PortListing::kLeft);
    EXPECT_EQ(station.Adopt(&error), std::vector<int>({1}));
    EXPECT_TRUE(station.Publishes(1));
    EXPECT_EQ(PORTS_List(ports, [&](int com) { return station.Publishes(com); }).at(0).source,
              PortListing::kThisProgram);

    // A publisher that ended without withdrawing: whoever still runs withdraws its entry when
    // the device goes, before or after adopting it.
    auto other = std::make_unique<UdevPortMap>(ini, ports);
    EXPECT_EQ(other->Handle(second, &error), 2);
    EXPECT_EQ(station.Handle(second, &error), 0);
    other.reset();  // leaves COM2: the station runs
    EXPECT_EQ(LinkOf(ports + "/COM2"), "/dev/null");
    EXPECT_EQ(station.Handle(UsbSerial("null", "3", "remove"), &error), 2);
    EXPECT_EQ(station.Handle(UsbSerial("zero", "2", "remove"), &error), 1);
    EXPECT_EQ(temp.Names(), std::vector<std::string>({".publishers", "kovirw.ini"}));
}

// Needs a running udev daemon (not on build machines): the monitor subscribes, and the
// devices found now are real ones.
TEST(UdevMonitor, OnThisMachine) {
    if (!UdevMonitor::DaemonRunning()) {
        GTEST_SKIP() << "udev does not run on this machine";
    }
    UdevMonitor monitor;
    ASSERT_TRUE(monitor.Open());
    EXPECT_GE(monitor.Fd(), 0);
    const std::vector<DeviceProperties> devices = monitor.Enumerate();
    EXPECT_FALSE(devices.empty());  // at least the virtual terminals
    ScratchDir temp;
    UdevPortMap map(std::string(), temp.Path());
    for (const DeviceProperties& device : devices) {
        EXPECT_EQ(device.count("DEVPATH"), 1u);
        EXPECT_EQ(device.at("SUBSYSTEM"), "tty");
        std::string error;
        const int com = map.Handle(device, &error);
        if (com > 0) {
            EXPECT_TRUE(Present(temp.File("COM" + std::to_string(com))));
        }
    }
}
