// The training detector of --demo inside the program's own process: the virtual detector's model behind a
// virtual port with the line's real timing, chosen in the port dialog and connected, with the Demo menu as
// the demo on Linux has it. Used on Windows, where no second program plays the detector on a pseudo-terminal
// (and it needs no driver and no folder of its own).
#pragma once

#include "protocol/PortList.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QMenuBar;
class QTimer;
namespace detector {
class VirtualLine;
} // namespace detector
namespace seriallink {
class PortDialog;
} // namespace seriallink

namespace app {

class MainWindow;

class VirtualDemo : public QObject {
    Q_OBJECT
  public:
    // The virtual port's name, as the port dialog lists it.
    static constexpr const char* PortName = "Virtual Detector";

    // One entry of the Demo menu: its caption, and the command(s) it gives the virtual detector. A checkable
    // entry gives onCommands when checked and offCommands when cleared. (The same as the Linux demo's.)
    // Where the program looks for ports in a demo: its own, with the virtual port listed first.
    static protocol::PortRoots Roots(protocol::PortRoots roots = {});

    explicit VirtualDemo(QObject* parent = nullptr);
    ~VirtualDemo() override;

    // Wires the demo into the program: the virtual detector behind the poll cycle's port (any other port
    // the user chooses is the platform's own), the Demo menu and the notices in the main window, the
    // virtual port chosen in the port dialog (not remembered for the next run), and Connect pressed once
    // the window shows. It says on stdout where the detector is, and once it answers the polls.
    void Attach(MainWindow& mainWindow, seriallink::PortDialog& portDialog);
    // Gives the virtual detector one command ("tamper on"); its answer goes to the notice.
    void Send(const QString& command);
    // Builds the Demo menu into bar, before its Help menu, and returns it.
    QMenu* BuildMenu(QMenuBar* bar);
    // Where short news for the user goes (the status bar).
    void setNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }
    detector::VirtualLine& line() const { return *line_; }

  private:
    void tell(const QString& text);

    std::shared_ptr<detector::VirtualLine> line_;
    QPointer<QMenu> menu_;
    QTimer* pluggedIn_ = nullptr; // says when an unplugged adapter is back
    QTimer* watch_ = nullptr;
    bool answering_ = false;
    quint64 repliesBefore_ = 0;
    std::function<void(const QString&)> notice_;
};

} // namespace app
