// Test support for the ports layer. Not for production code.
#pragma once

// Turns the publishing of udev's serial devices on or off for publishers started later (on
// at program start; the environment variable KOVIRW_UDEV=0 also turns it off). Tests keep
// the machine's own serial devices out of their port directories. On Windows, where the
// system lists the ports, there is nothing to turn off.
void PORT_PUBLISHER_SetEnabledForTest(bool enabled);
