#include "app/Demo.h"

#include "app/DemoMenu.h"

#include "app/DemoFolders.h"
#include "app/MainWindow.h"
#include "files/RegularFile.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

constexpr const char* SimulatorName = "ostrevo-detector-sim";
constexpr int StartLimitMs = 5000;
constexpr int StopLimitMs = 3000;
// Good replies after which the demo counts as connected: the read-back and some status replies.
constexpr std::uint64_t AnsweringReplies = 10;

} // namespace

QString Demo::SimulatorPath() {
    // Beside the program first: the build tree's own, or the one installed with the program.
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(SimulatorName));
    if (QFileInfo(beside).isExecutable() && QFileInfo(beside).isFile()) return beside;
    return QStandardPaths::findExecutable(QLatin1String(SimulatorName));
}

Demo::Demo(QObject* parent) : QObject(parent) {}

Demo::~Demo() {
    Stop();
}

QString Demo::Folder() const {
    return folder_ ? folder_->path() : QString();
}

bool Demo::Start(const QString& simulator, const QString& logPath, QString& error) {
    if (!Launch(simulator, logPath, error)) return false;
    QElapsedTimer waited;
    waited.start();
    while (!process_.canReadLine() && Running() && waited.elapsed() < StartLimitMs) process_.waitForReadyRead(100);
    return takeFirstLine(error);
}

void Demo::WhenReady(std::function<void(const QString& error)> ready) {
    auto* deadline = new QTimer(this);
    deadline->setSingleShot(true);
    auto connections = std::make_shared<std::vector<QMetaObject::Connection>>();
    auto check = [this, ready, deadline, connections] {
        if (connections->empty()) return;                                         // answered already
        if (!process_.canReadLine() && Running() && deadline->isActive()) return; // not yet
        for (const auto& c : *connections) disconnect(c);
        connections->clear();
        deadline->stop();
        deadline->deleteLater();
        QString error;
        takeFirstLine(error);
        ready(error);
    };
    connections->push_back(connect(&process_, &QProcess::readyRead, this, check));
    connections->push_back(connect(&process_, &QProcess::finished, this, check));
    connections->push_back(connect(deadline, &QTimer::timeout, this, check));
    deadline->start(StartLimitMs);
    QTimer::singleShot(0, this, check); // the line may be there already
}

bool Demo::Launch(const QString& simulator, const QString& logPath, QString& error) {
    simulator_ = simulator;
    if (simulator.isEmpty()) {
        error = QStringLiteral("the virtual detector %1 is neither beside the program nor on the PATH")
                    .arg(QLatin1String(SimulatorName));
        return false;
    }
    const QString base = PrivateDemoBase();
    RemoveStaleDemoFolders(base);
    if (base != QDir::tempPath())
        RemoveStaleDemoFolders(QDir::tempPath()); // left when the run-time folder was not there
    folder_ = std::make_unique<QTemporaryDir>(base + QLatin1Char('/') + DemoFolderPrefix + QStringLiteral("XXXXXX"));
    if (!folder_->isValid()) {
        error = QStringLiteral("no private folder for its link: %1").arg(folder_->errorString());
        folder_.reset();
        return false;
    }
    // mkdtemp makes it 0700 already; said again so that nothing else can reach the link.
    QFile::setPermissions(folder_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Held while the demo runs, so that a demo started later knows the folder is in use; it gets its
    // name once it is held, so that no other demo finds it unlocked and takes the folder for stale.
    const QByteArray newLock = QFile::encodeName(folder_->filePath(QLatin1String(DemoNewLockName)));
    lock_ = ::open(newLock.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(newLock.constData(), QFile::encodeName(folder_->filePath(QLatin1String(DemoLockName))).constData()) !=
            0) {
        error = QStringLiteral("no lock in its private folder: %1").arg(files::SystemError(errno));
        Stop();
        return false;
    }
    port_ = folder_->filePath(QLatin1String(DemoLinkName));

    // The log is written only as a regular file of its own, never through a link.
    // (Not followed even when a link appears there after a look: O_NOFOLLOW, and a FIFO or a device
    // opened meanwhile is closed again unwritten.)
    const QFileInfo logInfo(logPath);
    logProblem_.clear();
    if (!logPath.isEmpty() && (logInfo.isSymLink() || (logInfo.exists() && !logInfo.isFile())))
        logProblem_ = QStringLiteral("%1 is not a regular file of its own").arg(logPath);
    if (!logPath.isEmpty() && logProblem_.isEmpty()) {
        const int fd = ::open(QFile::encodeName(logPath).constData(),
                              O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0666);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) == 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            // (A QFile opened from a descriptor has no name: the path is kept apart.)
            if (log_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) logPath_ = logPath;
            else ::close(fd);
        } else {
            logProblem_ = fd < 0 ? QStringLiteral("%1 could not be opened: %2").arg(logPath, files::SystemError(errno))
                                 : QStringLiteral("%1 is not a regular file of its own").arg(logPath);
            if (fd >= 0) ::close(fd);
        }
    }

    process_.setProgram(simulator);
    process_.setArguments({QStringLiteral("--link"), port_});
    process_.setProcessChannelMode(QProcess::MergedChannels);
    const pid_t program = ::getpid();
    process_.setChildProcessModifier([program] {
        // Its own process group: an interrupt typed in the terminal reaches the program, which closes
        // its port and then ends the detector. Should the program die without a word (SIGKILL), the
        // kernel tells the detector, which then removes its link.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != program) ::_exit(1);
    });
    process_.start();
    if (!process_.waitForStarted(StartLimitMs)) {
        error = QStringLiteral("%1 did not start: %2").arg(simulator, process_.errorString());
        Stop();
        return false;
    }
    return true;
}

bool Demo::takeFirstLine(QString& error) {
    // Its first line is its pseudo-terminal, or why it has none.
    const QByteArray first = process_.readLine().trimmed();
    if (log_.isOpen()) {
        log_.write(first + '\n');
        log_.flush();
    }
    if (!QFileInfo(port_).isSymLink()) {
        error = first.isEmpty() ? QStringLiteral("%1 gave no port").arg(simulator_) : QString::fromLocal8Bit(first);
        Stop();
        return false;
    }
    connect(&process_, &QProcess::readyRead, this, &Demo::readAnswers);
    connect(&process_, &QProcess::finished, this, &Demo::processEnded);
    if (process_.bytesAvailable() > 0) readAnswers();
    ready_ = true;
    if (attached_) goLive();
    return true;
}

void Demo::Stop() {
    delete input_;
    input_ = nullptr;
    if (watch_) watch_->stop();
    stopping_ = true;
    if (Running()) {
        process_.terminate();
        if (!process_.waitForFinished(StopLimitMs)) {
            process_.kill();
            process_.waitForFinished(StopLimitMs);
        }
    }
    if (log_.isOpen()) {
        log_.write(process_.readAll());
        log_.close();
    }
    // The detector removes its link as it ends; one left by a kill goes with the folder, and the lock last.
    folder_.reset();
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
    logPath_.clear();
    if (menu_) menu_->setEnabled(false);
}

void Demo::Send(const QString& command) {
    if (!Running()) return;
    process_.write(command.toUtf8() + '\n');
}

void Demo::tell(const QString& text) {
    if (notice_) notice_(text);
}

// News of the link (the adapter out or back) goes from the status bar once the link is up again.
void Demo::tellLink(const QString& text) {
    if (attached_) attached_->ShowLinkNotice(text);
    else tell(text);
}

void Demo::readAnswers() {
    const QByteArray bytes = process_.readAll();
    if (log_.isOpen()) {
        log_.write(bytes);
        log_.flush();
    }
    pending_ += bytes;
    for (qsizetype end; (end = pending_.indexOf('\n')) >= 0;) {
        const QString line = QString::fromLocal8Bit(pending_.left(end)).trimmed();
        pending_.remove(0, end + 1);
        if (line.startsWith(QLatin1String("ok "))) {
            tell(QStringLiteral("Virtual detector: %1").arg(line.mid(3)));
            PrintDemoLine(QStringLiteral("demo: done: %1").arg(line.mid(3))); // for whoever commands it from a pipe
        } else if (line == QLatin1String("unplugged"))
            tellLink(QStringLiteral("Virtual detector: its adapter is pulled out."));
        else if (line.startsWith(QLatin1String("plugged in")))
            tellLink(QStringLiteral("Virtual detector: its adapter is back: click Connect."));
        else if (line.startsWith(QLatin1String("unknown command"))) {
            tell(QStringLiteral("Virtual detector: ") + line);
            PrintDemoLine(QStringLiteral("demo: ") + line);
        }
    }
}

void Demo::processEnded() {
    if (stopping_) return;
    if (menu_) menu_->setEnabled(false);
    const QString text = QStringLiteral("The virtual detector has ended; start the demo again for a new one.");
    tell(text);
    PrintDemoLine(QStringLiteral("demo: ") + text);
    emit ended();
}

QMenu* Demo::BuildMenu(QMenuBar* bar) {
    menu_ =
        BuildDemoMenu(bar, QDir::toNativeSeparators(port_), this, [this](const QString& command) { Send(command); });
    menu_->setEnabled(Running());
    return menu_;
}

void Demo::goLive() {
    PrintDemoLine(QStringLiteral("demo: the virtual detector is on %1; %2")
                      .arg(QDir::toNativeSeparators(port_),
                           !logPath_.isEmpty()     ? QStringLiteral("its answers go to %1").arg(logPath_)
                           : logProblem_.isEmpty() ? QStringLiteral("its answers go to no log")
                                                   : QStringLiteral("its answers go to no log: %1").arg(logProblem_)));
    QPointer<MainWindow> mainWindow = attached_;
    QTimer::singleShot(0, mainWindow, [mainWindow] {
        if (mainWindow && mainWindow->connectAction()->isEnabled() &&
            mainWindow->link().State() == seriallink::LinkState::Closed)
            mainWindow->connectAction()->trigger();
    });
}

void Demo::Attach(MainWindow& mainWindow, seriallink::PortDialog& portDialog) {
    setNotice([&mainWindow](const QString& text) { mainWindow.ShowNotice(text); });
    BuildMenu(mainWindow.menuBar());
    portDialog.portCombo()->setEditText(port_); // chosen: Connect is possible once the detector is there
    attached_ = &mainWindow;
    if (ready_) goLive();
    // Scripts and CI learn from stdout whether the demo is live: a line when the detector answers, and
    // one when the link goes down for want of answers (its timer runs inside a message box's loop too).
    watch_ = new QTimer(this);
    watch_->setInterval(200);
    connect(watch_, &QTimer::timeout, this, [this, &mainWindow] {
        const seriallink::PollCycle& link = mainWindow.link();
        if (!answering_ && link.State() == seriallink::LinkState::Polling &&
            link.counters().GoodReplies >= repliesBefore_ + AnsweringReplies) {
            answering_ = true;
            PrintDemoLine(QStringLiteral("demo: connected to the virtual detector on %1, which answers the polls")
                              .arg(QDir::toNativeSeparators(port_)));
        } else if (answering_ && link.State() != seriallink::LinkState::Polling) {
            answering_ = false;
            repliesBefore_ = link.counters().GoodReplies;
            // Halted: the port is still open but the exchanges failed. Closed is the user's own doing
            // (Disconnect, Exit), which needs no word.
            if (link.State() == seriallink::LinkState::Halted)
                PrintDemoLine(QStringLiteral("demo: the link to the virtual detector is down (no answer)"));
        }
    });
    watch_->start();
}

void Demo::ForwardInput(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return;
    input_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(input_, &QSocketNotifier::activated, this, [this, fd] {
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) { // the writer has gone for good
            input_->setEnabled(false);
            return;
        }
        inputLine_.append(buf, n);
        for (qsizetype end; (end = inputLine_.indexOf('\n')) >= 0;) {
            const QString line = QString::fromLocal8Bit(inputLine_.left(end)).trimmed();
            inputLine_.remove(0, end + 1);
            if (!line.isEmpty()) Send(line);
        }
    });
}

} // namespace app

#include "moc_Demo.cpp"
