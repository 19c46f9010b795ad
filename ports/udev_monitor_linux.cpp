#include <libudev.h>
#include <unistd.h>

#include "ports/udev_monitor.h"

namespace {

const char kSubsystem[] = "tty";

DeviceProperties PropertiesOf(struct udev_device* device) {
    DeviceProperties properties;
    for (struct udev_list_entry* entry = udev_device_get_properties_list_entry(device);
         entry != nullptr; entry = udev_list_entry_get_next(entry)) {
        const char* value = udev_list_entry_get_value(entry);
        properties[udev_list_entry_get_name(entry)] = value != nullptr ? value : "";
    }
    // Without the daemon's database some of these are missing from the list itself.
    if (const char* devpath = udev_device_get_devpath(device)) {
        properties["DEVPATH"] = devpath;
    }
    if (const char* devnode = udev_device_get_devnode(device)) {
        properties["DEVNAME"] = devnode;
    }
    if (const char* subsystem = udev_device_get_subsystem(device)) {
        properties["SUBSYSTEM"] = subsystem;
    }
    return properties;
}

}  // namespace

UdevMonitor::~UdevMonitor() {
    if (m_monitor != nullptr) {
        udev_monitor_unref(m_monitor);
    }
    if (m_udev != nullptr) {
        udev_unref(m_udev);
    }
}

bool UdevMonitor::DaemonRunning() { return access("/run/udev/control", F_OK) == 0; }

bool UdevMonitor::Open() {
    m_udev = udev_new();
    if (m_udev == nullptr) {
        return false;
    }
    // "udev" events come after the daemon's rules ran, so the by-path links exist by then.
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kSubsystem, nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        return false;
    }
    return true;
}

int UdevMonitor::Fd() const { return m_monitor != nullptr ? udev_monitor_get_fd(m_monitor) : -1; }

std::vector<DeviceProperties> UdevMonitor::Enumerate() const {
    std::vector<DeviceProperties> devices;
    if (m_udev == nullptr) {
        return devices;
    }
    struct udev_enumerate* enumerate = udev_enumerate_new(m_udev);
    if (enumerate == nullptr) {
        return devices;
    }
    udev_enumerate_add_match_subsystem(enumerate, kSubsystem);
    udev_enumerate_scan_devices(enumerate);
    for (struct udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
        struct udev_device* device =
            udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
        if (device != nullptr) {
            DeviceProperties properties = PropertiesOf(device);
            properties.erase("ACTION");
            devices.push_back(std::move(properties));
            udev_device_unref(device);
        }
    }
    udev_enumerate_unref(enumerate);
    return devices;
}

bool UdevMonitor::Receive(DeviceProperties* device) {
    if (m_monitor == nullptr) {
        return false;
    }
    struct udev_device* received = udev_monitor_receive_device(m_monitor);
    if (received == nullptr) {
        return false;
    }
    *device = PropertiesOf(received);
    if (const char* action = udev_device_get_action(received)) {
        (*device)["ACTION"] = action;
    }
    udev_device_unref(received);
    return true;
}
