// The port list on Linux: COM names of real UARTs and the USB adapters under /dev, and what to tell a user
// whom the system refused a port.
#include "protocol/PortList.h"

#include "protocol/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace protocol {

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// A ttyS device backed by a UART: the kernel gives its type, 0 being "unknown" (no hardware).
bool realUart(const std::string& device, const std::string& sysEntry) {
    std::ifstream type(sysEntry + "/type");
    int t = 0;
    if (type >> t) return t != 0;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool known = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}

} // namespace

bool ProbePort(const std::string& nameIn, const PortRoots& roots) {
    std::string name = nameIn;
    if (!name.empty() && name.back() == ':') name.pop_back();
    if (!roots.virtualPort.empty() && name == roots.virtualPort) return true;
    int number = -1;
    SerialPort::DevicePathFor(name, &number); // the same reading of "COM<n>" as opening uses
    if (number >= 0) {
        const std::string tty = "ttyS" + std::to_string(number);
        return exists(roots.dev + "/" + tty) && realUart(roots.dev + "/" + tty, roots.sysTty + "/" + tty);
    }
    return !name.empty() && exists(name);
}

std::string MissingPortText(const std::string& name) {
    return "There is no port " + name + " on this machine now.";
}

std::vector<std::string> ListPorts(const PortRoots& roots) {
    std::vector<std::string> ports;
    if (!roots.virtualPort.empty()) ports.push_back(roots.virtualPort);
    for (int n = 1; n <= 255; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (ProbePort(name, roots)) ports.push_back(name);
    }
    std::vector<std::pair<std::string, long>> adapters;
    if (DIR* dir = ::opendir(roots.dev.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string entry = e->d_name;
            for (const char* prefix : {"ttyUSB", "ttyACM"}) {
                const std::string p = prefix;
                if (entry.size() > p.size() && entry.compare(0, p.size(), p) == 0 &&
                    std::all_of(entry.begin() + p.size(), entry.end(), ::isdigit))
                    adapters.emplace_back(p, std::stol(entry.substr(p.size())));
            }
        }
        ::closedir(dir);
    }
    std::sort(adapters.begin(), adapters.end());
    for (const auto& [prefix, number] : adapters) ports.push_back(roots.dev + "/" + prefix + std::to_string(number));
    return ports;
}

namespace {

// The group a udev rule should give a serial device: the distribution's own for serial lines.
std::string serialGroup() {
    for (const char* name : {"dialout", "uucp", "tty"})
        if (::getgrnam(name)) return name;
    return "dialout";
}

// For a device whose group may not use it, or is the administrators': only its owner may open it,
// and only the administrator can change that.
std::string ownerOnlyAdvice(const std::string& devicePath, const struct stat& st, const std::string& groupName) {
    const passwd* owner = ::getpwuid(st.st_uid);
    const std::string ownerName = owner ? owner->pw_name : std::to_string(st.st_uid);
    char resolved[PATH_MAX];
    const std::string real = ::realpath(devicePath.c_str(), resolved) ? resolved : devicePath;
    const std::string kernelName = real.substr(real.find_last_of('/') + 1);
    const std::string group = serialGroup();
    const bool groupCanUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const std::string who = groupCanUse ? "its owner (" + ownerName + ") and the group \"" + groupName +
                                              "\", which no ordinary user should join,"
                                        : "its owner (" + ownerName + ")";
    return devicePath + " is open to " + who + " only: joining a group would not help. The administrator can change " +
           "that with a udev rule, this one line in /etc/udev/rules.d/70-serial-" + kernelName +
           ".rules:\n    KERNEL==\"" + kernelName + "\", GROUP=\"" + group +
           "\", MODE=\"0660\"\nIt takes effect when the device next appears " +
           "(or after \"sudo udevadm trigger\"); then join the group \"" + group + "\".";
}

} // namespace

std::string PermissionAdvice(const std::string& devicePath) {
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0) return {};
    const group* owner = ::getgrgid(st.st_gid);
    const std::string groupName = owner ? owner->gr_name : std::to_string(st.st_gid);
    if ((st.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH))
        return devicePath + " is open to everyone, yet the system refused it (a security policy or the way its " +
               "file system is mounted): ask the administrator.";
    // Joining the device's group helps only when that group may read and write it, and the
    // administrators' group is never the one to join.
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || st.st_gid == 0)
        return ownerOnlyAdvice(devicePath, st, groupName);
    bool member = ::getegid() == st.st_gid;
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count && !member; ++i) member = groups[i] == st.st_gid;
    if (member)
        return "You belong to the group \"" + groupName + "\" that owns " + devicePath +
               ", but not in this session yet: log out and in again.";
    const passwd* me = ::getpwuid(::geteuid());
    const std::string user = me ? me->pw_name : "$USER";
    // A member of the group whose session predates the membership is not in getgroups() yet.
    bool listed = false;
    if (owner)
        for (char** m = owner->gr_mem; *m && !listed; ++m) listed = user == *m;
    if (listed)
        return "You were added to the group \"" + groupName + "\" that owns " + devicePath +
               ": log out and in again so that it takes effect.";
    return "Join the group \"" + groupName + "\" that owns " + devicePath + " (sudo adduser " + user + " " + groupName +
           "), then log out and in again.";
}

std::string OpenFailureMessage(int errorCode, const std::string& errorText, const std::string& devicePath) {
    std::string message = errorText;
    if (errorCode == ENOENT || errorCode == ENODEV || errorCode == ENXIO) {
        message += "\nThere is no port " + devicePath + ": check that the adapter is plugged in, then choose its " +
                   "port in SetUp COM.";
    } else if (errorCode == EIO) {
        message += "\nThe port " + devicePath + " does not respond: unplug the adapter, plug it in again and connect.";
    } else if (errorCode == ENOTTY || errorCode == EINVAL) {
        message += "\n" + devicePath + " is not a serial port: choose the detector's port in SetUp COM.";
    } else if (errorCode == EACCES || errorCode == EPERM) {
        const std::string advice = PermissionAdvice(devicePath);
        if (!advice.empty()) message += "\n" + advice;
    } else if (errorCode == EBUSY) {
        message += "\nAnother program is using " + devicePath + ": close it, then connect again.";
    } else if (errorCode == ErrNotSerialLine) {
        message += "\n" + devicePath +
                   " hands out new pseudo-terminals to the programs that open it; it reaches no device. Choose "
                   "the detector's port instead (a virtual detector prints the path of its own).";
    }
    // Whatever went wrong, the user sees which port it was.
    if (!devicePath.empty() && message.find(devicePath) == std::string::npos) message += "\nPort: " + devicePath;
    return message;
}

} // namespace protocol
