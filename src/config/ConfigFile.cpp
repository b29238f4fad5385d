#include "config/ConfigFile.h"

#include "app/FileDialogs.h"
#include "app/UserDialogs.h"
#include "app/ViewPage.h"
#include "config/ReadBack.h"
#include "config/Settings.h"
#include "link/PollCycle.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString FileFilter = QStringLiteral("bin (*.bin)");

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

namespace configfile {

QString WithBinExtension(const QString& name) {
    return name.endsWith(QLatin1String("bin"), Qt::CaseSensitive) ? name : name + QStringLiteral(".bin");
}

bool ReadParameterFile(const QString& path, params::Record& bytes, QString& error) {
    auto fail = [&](const QString& reason) {
        error = QStringLiteral("The parameter file \"%1\" could not be read: %2").arg(shown(path), reason);
        return false;
    };
    // Opened without blocking and checked before reading: a FIFO or a device would hang the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("it is not a regular file."));
    }
    params::Record read{};
    std::size_t done = 0;
    while (done < read.size()) {
        const ssize_t n = ::read(fd, read.data() + done, read.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(QString::fromLocal8Bit(std::strerror(e)));
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (done < read.size())
        return fail(
            QStringLiteral("it is too short (%1 bytes; a parameter file holds %2).").arg(done).arg(read.size()));
    bytes = read;
    return true;
}

bool WriteParameterFile(const QString& path, const params::Record& bytes, QString& error) {
    QSaveFile file(path);
    // Flushed and checked before the commit: Qt 6.4's commit does not notice a write that fails
    // only when its buffer is flushed (a full disk), and would put an empty file in place.
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
                        static_cast<qint64>(bytes.size()) &&
                    file.flush() && file.error() == QFileDevice::NoError && file.commit();
    if (!ok) {
        error =
            QStringLiteral("The parameter file \"%1\" could not be written: %2").arg(shown(path), file.errorString());
        file.cancelWriting();
    }
    return ok;
}

} // namespace configfile

ConfigFiles::ConfigFiles(QWidget* window, ViewControls& view, PollCycle& link, Settings& settings, ReadBack& readBack)
    : QObject(window), window_(window), view_(view), link_(link), settings_(settings), readBack_(readBack) {}

namespace {
const QString ConnectFirst = QStringLiteral("A configuration is loaded into a connected detector: "
                                            "connect to the detector first, then open the file.");
}

void ConfigFiles::FileOpen1Execute() {
    // A file is loaded into the connected detector; without one there is nothing to load it into.
    if (!link_.PollTimer()->isActive()) {
        dialogs::ShowMessage(window_, ConnectFirst);
        return;
    }
    const QString name =
        dialogs::GetFileName(window_, dialogs::FileDialogKind::Open, QStringLiteral("Open Config"), FileFilter);
    if (!name.isEmpty()) FileOpen1Accept(name);
}

void ConfigFiles::FileSaveAs1Execute() {
    const QString name =
        dialogs::GetFileName(window_, dialogs::FileDialogKind::Save, QStringLiteral("Save Config"), FileFilter);
    if (!name.isEmpty()) FileSaveAs1Accept(name);
}

void ConfigFiles::FileOpen1Accept(const QString& fileName) {
    // The link may have stopped while the dialog was open: nothing changes, and the user is told.
    if (!link_.PollTimer()->isActive()) {
        dialogs::ShowMessage(window_, ConnectFirst);
        return;
    }
    params::Record bytes{};
    QString error;
    if (!configfile::ReadParameterFile(fileName, bytes, error)) {
        dialogs::ShowWarning(window_, error);
        return;
    }
    link_.Stores.parameters = bytes; // byte for byte, pads included
    link_.ParametersKnown = true;
    // Both lenses back to "User", so that the file's values meet the full ranges.
    for (QComboBox* lens : {view_.pir1.lens, view_.pir2.lens}) {
        if (lens->currentIndex() != 0) lens->setCurrentIndex(0); // runs its handler
        else if (lens == view_.pir1.lens) settings_.ComboBox_Pir1_LensChange();
        else settings_.ComboBox_Pir2_LensChange();
    }
    if (link_.LinkActive()) {
        readBack_.ApplyParameters();
        settings_.BuildSettingsFrame();
        link_.PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
    }
}

void ConfigFiles::FileSaveAs1Accept(const QString& fileName) {
    const params::Record bytes = link_.Stores.parameters;
    const QString target = configfile::WithBinExtension(fileName);
    // The dialog asked about the name it was given; a name the extension changed is asked about here.
    if (target != fileName && QFileInfo::exists(target) &&
        !dialogs::AskYesNo(window_,
                           QStringLiteral("\"%1\" already exists.\nDo you want to replace it?").arg(shown(target))))
        return;
    QString error;
    if (!configfile::WriteParameterFile(target, bytes, error)) dialogs::ShowWarning(window_, error);
}
