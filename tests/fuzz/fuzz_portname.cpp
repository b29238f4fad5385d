// Port names as the user types them: the "COM<n>" reading shared by opening and probing, the
// probe itself, and the messages that name the port. Nothing here opens a device: the probe's
// folders do not exist, so only names that are not COM names reach the file system, by stat().
// Oracles: a COM name maps to /dev/ttyS<n-1> and back, any other name is kept as it is, a trailing
// colon changes nothing, and the system's text always comes first in a message.
#include "protocol/PortList.h"
#include "protocol/SerialPort.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    int number = -2;
    const std::string path = protocol::SerialPort::DevicePathFor(name, &number);
    check(number >= -1);
    if (number == -1) {
        check(path == name);
    } else {
        check(path == "/dev/ttyS" + std::to_string(number));
        check(name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
              std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
              std::toupper(static_cast<unsigned char>(name[2])) == 'M');
        long value = 0;
        for (std::size_t i = 3; i < name.size(); ++i) {
            check(name[i] >= '0' && name[i] <= '9');
            value = value * 10 + (name[i] - '0');
        }
        check(value == number + 1);
        int back = -2;
        check(protocol::SerialPort::DevicePathFor("COM" + std::to_string(number + 1), &back) == path && back == number);
    }

    const protocol::PortRoots nowhere{"/nonexistent-ostrevo-fuzz/dev", "/nonexistent-ostrevo-fuzz/sys"};
    const bool found = protocol::ProbePort(name, nowhere);
    if (number >= 0) check(!found);
    if (name.empty() || name.back() != ':') check(protocol::ProbePort(name + ":", nowhere) == found);

    for (int code : {EACCES, EBUSY, ENOENT, static_cast<int>(protocol::ErrNotSerialLine)}) {
        const std::string text = protocol::SerialPort::GetErrorDesc(code);
        const std::string message = protocol::OpenFailureMessage(code, text, name);
        check(message.compare(0, text.size(), text) == 0);
    }
    return 0;
}
