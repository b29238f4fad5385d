// The application object: an exception that escapes a handler is reported in a message box,
// as a desktop framework's default handler would, instead of ending the program.
#pragma once

#include <QApplication>

namespace dialogs {

class OstrevoApplication : public QApplication {
    Q_OBJECT
  public:
    OstrevoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace dialogs
