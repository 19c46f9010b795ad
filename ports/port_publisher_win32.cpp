// Windows has no udev: the ports are those that the system lists.
#include "ports/port_publisher.h"
#include "ports/ports_testing.h"

struct PortPublisher::State {};

void PORT_PUBLISHER_SetEnabledForTest(bool) {}

PortPublisher::PortPublisher() = default;

PortPublisher::~PortPublisher() = default;

bool PortPublisher::Start(const std::string&, const std::string&, Warn, std::string* why) {
    *why = "the ports are those that Windows lists";
    return false;
}

bool PortPublisher::Publishes(int) const { return false; }
