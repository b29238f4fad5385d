#include "link/PortList.h"

#include "link/synaser.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    int number = -1;
    TBlockSerial::DevicePathFor(name, &number); // the same reading of "COM<n>" as opening uses
    if (number >= 0) {
        const std::string tty = "ttyS" + std::to_string(number);
        return exists(roots.dev + "/" + tty) && realUart(roots.dev + "/" + tty, roots.sysTty + "/" + tty);
    }
    return !name.empty() && exists(name);
}

std::vector<std::string> ListPorts(const PortRoots& roots) {
    std::vector<std::string> ports;
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

std::string PermissionAdvice(const std::string& devicePath) {
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0) return {};
    const group* owner = ::getgrgid(st.st_gid);
    const std::string groupName = owner ? owner->gr_name : std::to_string(st.st_gid);
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
    if (errorCode == EACCES || errorCode == EPERM) {
        const std::string advice = PermissionAdvice(devicePath);
        if (!advice.empty()) message += "\n" + advice;
    } else if (errorCode == EBUSY) {
        message += "\nAnother program is using " + devicePath + ": close it, then connect again.";
    }
    return message;
}
