// The udev side of the ports, for every front end: publishes the serial devices that udev
// reports (USB-serial and CDC-ACM adapters, built-in UARTs) in the port directory, each as
// COM<n> under the number its physical place keeps (ports/udev_port_map.h), and withdraws
// them when they go away. Front ends then see these ports as they see every other: as entries
// of the port directory that arrive and leave.
//
// After Start, a thread of the publisher's own waits for udev's events, and every quarter of
// a second adopts the entries whose publisher (another program) has ended. Linux with libudev
// (port_publisher_linux.cpp; without libudev it finds no devices). On Windows, where the
// system lists the ports itself, Start publishes nothing (port_publisher_win32.cpp). Start,
// Publishes and the destructor may run on any one thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

class PortPublisher {
  public:
    // Receives the problems that do not stop the publisher, such as a COM number that
    // another program or a user holds for another device. Called on the publisher's thread
    // (or in Start), never two at a time.
    using Warn = std::function<void(const std::string& text)>;

    PortPublisher();
    // Stops the thread and withdraws the entries published (unless another publisher runs on
    // the same directory: that one adopts them).
    ~PortPublisher();
    PortPublisher(const PortPublisher&) = delete;
    PortPublisher& operator=(const PortPublisher&) = delete;

    // Publishes the serial devices present now into portDir, the numbers kept in section
    // PORTS of settingsPath, and starts following udev. False with *why when there is nothing
    // to follow (no udev here, publishing turned off, or no libudev in this build).
    bool Start(const std::string& settingsPath, const std::string& portDir, Warn warn,
               std::string* why);

    // True when this publisher holds the entry COM<com>.
    bool Publishes(int com) const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
