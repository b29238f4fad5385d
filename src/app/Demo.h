// The training detector of --demo: the virtual detector (ostrevo-detector-sim) started on a link in a
// private folder, its port chosen in the port dialog and connected, its commands in a "Demo" menu, and
// all of it ended with the program, also when the program is told to stop by a signal.
#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QMenuBar;
class QSocketNotifier;
class QTemporaryDir;
class QTimer;
namespace seriallink {
class PortDialog;
} // namespace seriallink

namespace app {

class MainWindow;

class Demo : public QObject {
    Q_OBJECT
  public:
    // One entry of the Demo menu: its caption, and the command(s) it sends to the virtual detector.
    // A checkable entry sends onCommands when checked and offCommands when cleared.

    // The virtual detector's executable: beside the program's, else on PATH; empty when there is none.
    static QString SimulatorPath();

    explicit Demo(QObject* parent = nullptr);
    // Stop().
    ~Demo() override;
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    // Starts the virtual detector on a link in a new folder that only the user can enter (under
    // $XDG_RUNTIME_DIR, else the temporary folder) and waits a few seconds at most for its port. Its
    // answers go to logPath (truncated). Folders left there by demos of this user that were killed go
    // first. False, with error saying why, when it did not start.
    bool Start(const QString& simulator, const QString& logPath, QString& error);
    // Start() in two halves, for a program that shows its window meanwhile: Launch() starts the virtual
    // detector and returns at once; WhenReady() calls ready from the event loop once the detector has
    // made its port (an empty error, and Attach()'s Connect follows), or with why it has not (a few
    // seconds at most; the demo is stopped then).
    bool Launch(const QString& simulator, const QString& logPath, QString& error);
    void WhenReady(std::function<void(const QString& error)> ready);
    // Ends the virtual detector (SIGTERM, a kill if it lingers) and removes its link and the folder.
    // Safe to call twice.
    void Stop();
    bool Running() const { return process_.state() != QProcess::NotRunning; }
    // The link the program connects to, "<private folder>/ttyDETECTOR"; empty before Start().
    QString Port() const { return port_; }
    // The private folder that holds the link.
    QString Folder() const;
    // The virtual detector's process id (0 when it is not running).
    qint64 ProcessId() const { return process_.processId(); }

    // Sends one command line to the virtual detector ("tamper on").
    void Send(const QString& command);
    // Where short news for the user goes (the status bar): the detector's answers, its end.
    void setNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }

    // Builds the Demo menu into bar, before its Help menu, and returns it.
    QMenu* BuildMenu(QMenuBar* bar);
    // Wires the demo into the program: the notice and the menu in the main window, the port chosen in
    // the port dialog (not remembered for the next run), Connect pressed once the detector is ready, and
    // one line on stdout once the detector is answering the polls. It says on stdout where the detector
    // is and where its answers go.
    void Attach(MainWindow& mainWindow, seriallink::PortDialog& portDialog);
    // Passes the lines that arrive on fd (the program's standard input) to the virtual detector, when
    // fd is a pipe or a FIFO: scripts and trainers can command it without the menu.
    void ForwardInput(int fd);

  signals:
    // The virtual detector has ended on its own (a "hangup", a crash): the menu is disabled.
    void ended();

  private:
    // The detector's first line: its port made (true), or why not (the demo is stopped).
    bool takeFirstLine(QString& error);
    // Ready and attached: says where the detector is, and presses Connect.
    void goLive();
    void readAnswers();
    void processEnded();
    void tell(const QString& text);
    void tellLink(const QString& text);

    QProcess process_;
    QString simulator_;
    bool ready_ = false;            // the detector's port is there
    QPointer<MainWindow> attached_; // the window it was attached to
    std::unique_ptr<QTemporaryDir> folder_;
    QString port_;
    QFile log_;
    QString logPath_;    // where log_ writes; empty when there is no log
    QString logProblem_; // why there is none, when one was asked for
    int lock_ = -1;      // the folder's lock, held while the demo runs
    QByteArray pending_; // answer bytes not yet a whole line
    bool stopping_ = false;
    QPointer<QMenu> menu_; // the menu bar may go first
    QSocketNotifier* input_ = nullptr;
    QByteArray inputLine_;
    QTimer* watch_ = nullptr;
    bool answering_ = false;
    std::uint64_t repliesBefore_ = 0;
    std::function<void(const QString&)> notice_;
};

} // namespace app
