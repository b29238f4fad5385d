// Which serial ports this machine has, and what to tell a user who may not open one.
#pragma once

#include <string>
#include <vector>

namespace protocol {

// Where the ports are looked for. On Linux: where devices and their kernel descriptions live; tests point
// these at a folder of their own. On every platform: a port the program offers besides the system's (the
// demo's virtual detector), listed first.
struct PortRoots {
    std::string dev = "/dev";
    std::string sysTty = "/sys/class/tty";
    std::string virtualPort = {};
};

// Whether a port exists (a trailing ':' is ignored). On Linux "COM<n>" must be a real UART, not one of the
// placeholder ttyS devices Linux always creates, and any other name an existing device. On Windows the
// system must give the port's default configuration, by its name or as the device \\.\<name>.
bool ProbePort(const std::string& name, const PortRoots& roots = {});

// The ports to offer: the virtual port when there is one, COM1 .. COM255 that exist, in numeric order, then
// on Linux the USB and CDC adapters (ttyUSB*, ttyACM*) by path, in numeric order.
std::vector<std::string> ListPorts(const PortRoots& roots = {});

// What the port dialog says of a chosen port that ProbePort does not find: "There is no port NAME on this
// machine now." on Linux; on Windows, where the probe asks the port for its configuration, "Unable to open
// port NAME: ...".
std::string MissingPortText(const std::string& name);

// What to tell the user who got "Permission denied" for the device: which group to join (or log in
// again for) when the device's group may read and write it; otherwise that only its owner may open
// it, with the one-line udev rule the administrator can add to change that. (Empty on Windows, which has
// no such groups.)
std::string PermissionAdvice(const std::string& devicePath);

// What Connect tells the user when the port cannot be opened or set up: the system's text, for a
// refused or busy port one more line on what to do, and the port's path.
std::string OpenFailureMessage(int errorCode, const std::string& errorText, const std::string& devicePath);

// What the user reads when the link is lost ("Error Time Out" first): which port, what to check on
// site, and why it failed: the frame check the replies failed, or the port's own error (either may
// be empty).
std::string TimeOutMessage(const std::string& port, const std::string& frameCheck, const std::string& portError);

} // namespace protocol
