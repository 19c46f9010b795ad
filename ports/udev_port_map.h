// COM numbers for the serial devices that udev reports (USB-serial and CDC-ACM adapters,
// built-in UARTs), made usable by publishing each as an entry COM<n> in the port directory.
//
// A device keeps its number for as long as it sits in the same physical place: the number is
// bound to the device's stable path (its /dev/serial/by-path link, which names the USB port
// it is plugged into) in section PORTS of the settings file, keys COM<n>, values the stable
// path. A user may edit those keys; a number is never given to a second path. Whoever watches
// the port directory then sees the published entry arrive, and a port opens through its entry.
//
// Several programs may publish into one port directory at once (the window and a station,
// two stations). Each entry has one publisher: the program that holds the exclusive lock of
// the entry's owner file .COM<n>.owner (which also names its process id). Another program
// that finds the device's entry held leaves it alone and only notes the device; when the
// publisher ends, the lock goes with it (also when it crashes), and a program still running
// adopts the entry without touching it, so a port in use never blinks away. Only the
// publisher withdraws an entry. A program that ends withdraws its entries only when no
// other publisher runs on the directory (each holds a shared lock of .publishers there).
//
// Plain C++ over POSIX, no udev library: devices come in as their recorded properties, so the
// rules can be tested without udev. Not thread-safe: one thread at a time uses a map.
#pragma once

#include <map>
#include <string>
#include <vector>

// A device's udev properties (ACTION, DEVPATH, DEVNAME, SUBSYSTEM, DEVLINKS, ID_BUS, ...).
using DeviceProperties = std::map<std::string, std::string>;

// True for a tty device that is a real serial port: a USB-serial or CDC-ACM adapter, or a
// built-in UART with hardware behind it. False for virtual terminals, pseudo-terminals and
// the placeholder UARTs that the 8250 driver registers whether or not the hardware exists.
bool UDEV_IsSerialPort(const DeviceProperties& device);

// The path that names the device's physical place: its /dev/serial/by-path link when udev
// made one, else its device node. Empty when the device has neither.
std::string UDEV_StablePath(const DeviceProperties& device);

// Who holds the entry COM<com> of portDir, as far as owner files tell.
enum class EntryOwner {
    kNone,   // no owner file: made by hand or by another tool
    kLive,   // a running program holds its owner lock (*pid names it)
    kEnded,  // its publisher ended without withdrawing it (*pid named it)
};
EntryOwner UDEV_EntryOwner(const std::string& portDir, int com, int* pid);

class UdevPortMap {
  public:
    // settingsPath: the settings file holding section PORTS (empty: numbers are not kept);
    // portDir: the port directory the entries are published in.
    UdevPortMap(std::string settingsPath, std::string portDir);
    // Withdraws every entry it published when no other publisher runs; otherwise leaves them
    // for the others to adopt.
    ~UdevPortMap();
    UdevPortMap(const UdevPortMap&) = delete;
    UdevPortMap& operator=(const UdevPortMap&) = delete;

    // Takes one device: ACTION "add", "change" or none (a device found at start-up) publishes
    // a serial port not yet published; "remove" withdraws what was published for its DEVPATH.
    // Returns the COM number published or withdrawn, 0 when nothing changed (also when
    // another program publishes the device). A number whose entry another program or a user
    // holds for another device is not taken over: *error then says so.
    int Handle(const DeviceProperties& device, std::string* error);

    // Adopts the entries of noted devices whose publisher has ended, and publishes those
    // that lost their entry. Returns the COM numbers this map took on.
    std::vector<int> Adopt(std::string* error);

    // The COM number bound to stablePath in section PORTS (the lowest, should a user have
    // bound several), or 0.
    int BoundNumber(const std::string& stablePath) const;

    // True when this map publishes COM<com>.
    bool Publishes(int com) const;

    // Withdraws every entry published so far (or leaves them, see the destructor).
    void WithdrawAll();

  private:
    int NumberFor(const std::string& stablePath);
    int Publish(const DeviceProperties& device, std::string* error);
    void Withdraw(int com, const std::string& target, int ownerFd);

    struct Published {
        int com;
        std::string target;
        int ownerFd;  // holds the owner lock
    };

    std::string m_settingsPath;
    std::string m_portDir;
    int m_publishersFd = -1;                          // our shared lock of .publishers
    std::map<std::string, Published> m_published;     // by DEVPATH
    std::map<std::string, DeviceProperties> m_noted;  // present, published by another, by DEVPATH
};
