// Which serial ports this machine has, and what to tell a user who may not open one.
#pragma once

#include <string>
#include <vector>

namespace protocol {

// Where devices and their kernel descriptions live; tests point these at a folder of their own.
struct PortRoots {
    std::string dev = "/dev";
    std::string sysTty = "/sys/class/tty";
};

// Whether a port exists: "COM<n>" (a trailing ':' is ignored) must be a real UART, not one of the
// placeholder ttyS devices Linux always creates; any other name must be an existing device.
bool ProbePort(const std::string& name, const PortRoots& roots = {});

// The ports to offer: COM1 .. COM255 that exist, in numeric order, then the USB and CDC adapters
// (ttyUSB*, ttyACM*) by path, in numeric order.
std::vector<std::string> ListPorts(const PortRoots& roots = {});

// What to tell the user who got "Permission denied" for the device: which group to join (or log in
// again for) when the device's group may read and write it; otherwise that only its owner may open
// it, with the one-line udev rule the administrator can add to change that.
std::string PermissionAdvice(const std::string& devicePath);

// What Connect tells the user when the port cannot be opened or set up: the system's text, for a
// refused or busy port one more line on what to do, and the port's path.
std::string OpenFailureMessage(int errorCode, const std::string& errorText, const std::string& devicePath);

// What the user reads when the link is lost ("Error Time Out" first): which port, what to check on
// site, and why it failed: the frame check the replies failed, or the port's own error (either may
// be empty).
std::string TimeOutMessage(const std::string& port, const std::string& frameCheck, const std::string& portError);

} // namespace protocol
