// What the user reads when the link is lost, the same on every platform.
#include "protocol/PortList.h"

namespace protocol {

std::string TimeOutMessage(const std::string& port, const std::string& frameCheck, const std::string& portError) {
    std::string message = "Error Time Out\n";
    if (!frameCheck.empty())
        message += "The detector on " + port + " answers, but not with frames this program knows (" + frameCheck +
                   "). Check that it is an Ostrevo detector, that no other device shares the line, and that the " +
                   "adapter runs at 19200 baud.";
    else
        message += "The detector on " + port + " does not answer. Check that it has power, that the cable is " +
                   "plugged in at both ends, that " + port + " is the detector's port (SetUp COM), and that no " +
                   "other program uses it.";
    if (!portError.empty()) message += "\nThe port reports: " + portError;
    return message;
}

} // namespace protocol
