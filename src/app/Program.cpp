#include "app/Program.h"

#include "errorlog/ErrorLog.h"
#include "remembered/Remembered.h"

namespace app {

Program::Program(const protocol::PortRoots& roots) : portDialog_(&mainWindow_, roots), graphWindow_(&mainWindow_) {
    // What the user should know without being asked: a log or settings file that could not be used.
    errorlog::ErrorLog::SetNotice(
        [this](const std::string& text) { mainWindow_.ShowNotice(QString::fromStdString(text)); });
    remembered::SetNotice([this](const QString& text) { mainWindow_.ShowNotice(text); });
    mainWindow_.setCompanions(&portDialog_, &graphWindow_);
}

Program::~Program() {
    errorlog::ErrorLog::SetNotice(nullptr);
    remembered::SetNotice(nullptr);
}

} // namespace app
