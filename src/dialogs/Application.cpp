#include "dialogs/Application.h"

#include "dialogs/UserDialogs.h"

namespace dialogs {

OstrevoApplication::OstrevoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool OstrevoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        dialogs::ShowWarning(nullptr, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        dialogs::ShowWarning(nullptr, QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

} // namespace dialogs

#include "moc_Application.cpp"
