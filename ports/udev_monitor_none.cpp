// Built when libudev is not available: there is no udev source of ports, and the publisher
// publishes nothing.
#include "ports/udev_monitor.h"

UdevMonitor::~UdevMonitor() = default;

bool UdevMonitor::DaemonRunning() { return false; }

bool UdevMonitor::Open() { return false; }

int UdevMonitor::Fd() const { return -1; }

std::vector<DeviceProperties> UdevMonitor::Enumerate() const { return {}; }

bool UdevMonitor::Receive(DeviceProperties*) { return false; }
