// COM numbers for the serial devices that udev reports (USB-serial and CDC-ACM adapters,
// built-in UARTs), made usable by publishing each as an entry COM<n> in the port directory.
//
// A device keeps its number for as long as it sits in the same physical place: the number is
// bound to the device's stable path (its /dev/serial/by-path link, which names the USB port
// it is plugged into) in section PORTS of the settings file, keys COM<n>, values the stable
// path. A user may edit those keys; a number is never given to a second path. The port
// directory watcher then sees the published entry and reports the arrival, so udev ports and
// every other port reach the console the same way, and a port opens through its entry.
//
// Plain C++, no udev library: devices come in as their recorded properties, so the rules can
// be tested without udev. Not thread-safe: one thread (the console's) uses a map.
#pragma once

#include <map>
#include <string>

// A device's udev properties (ACTION, DEVPATH, DEVNAME, SUBSYSTEM, DEVLINKS, ID_BUS, ...).
using DeviceProperties = std::map<std::string, std::string>;

// True for a tty device that is a real serial port: a USB-serial or CDC-ACM adapter, or a
// built-in UART with hardware behind it. False for virtual terminals, pseudo-terminals and
// the placeholder UARTs that the 8250 driver registers whether or not the hardware exists.
bool UDEV_IsSerialPort(const DeviceProperties& device);

// The path that names the device's physical place: its /dev/serial/by-path link when udev
// made one, else its device node. Empty when the device has neither.
std::string UDEV_StablePath(const DeviceProperties& device);

class UdevPortMap {
  public:
    // settingsPath: the settings file holding section PORTS (empty: numbers are not kept);
    // portDir: the port directory the entries are published in.
    UdevPortMap(std::string settingsPath, std::string portDir);
    // Withdraws every entry it published.
    ~UdevPortMap();
    UdevPortMap(const UdevPortMap&) = delete;
    UdevPortMap& operator=(const UdevPortMap&) = delete;

    // Takes one device: ACTION "add", "change" or none (a device found at start-up) publishes
    // a serial port not yet published; "remove" withdraws what was published for its DEVPATH.
    // Returns the COM number published or withdrawn, 0 when nothing changed. A number whose
    // entry another program holds is not taken over: *error then says so.
    int Handle(const DeviceProperties& device, std::string* error);

    // The COM number bound to stablePath in section PORTS (the lowest, should a user have
    // bound several), or 0.
    int BoundNumber(const std::string& stablePath) const;

    // Withdraws every entry published so far.
    void WithdrawAll();

  private:
    int NumberFor(const std::string& stablePath);
    bool Publish(int com, const std::string& target, std::string* error);
    void Withdraw(int com, const std::string& target);

    struct Published {
        int com;
        std::string target;
    };

    std::string m_settingsPath;
    std::string m_portDir;
    std::map<std::string, Published> m_published;  // by DEVPATH
};
