#include "config/ConfigFile.h"

#include "config/ParameterText.h"
#include "config/ReadBack.h"
#include "config/Settings.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "files/RegularFile.h"
#include "link/PollCycle.h"
#include "view/ViewPage.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
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

bool ReadParameterFile(const QString& path, params::Record& bytes, QString& error, qint64* size) {
    auto fail = [&](const QString& reason) {
        error = QStringLiteral("The parameter file \"%1\" could not be read: %2").arg(shown(path), reason);
        return false;
    };
    QString reason;
    const int fd = files::OpenRegularForReading(path, reason, size);
    if (fd < 0) return fail(reason);
    params::Record read{};
    const qint64 done =
        files::ReadSome(fd, reinterpret_cast<char*>(read.data()), static_cast<qint64>(read.size()), reason);
    ::close(fd);
    if (done < 0) return fail(reason);
    if (done < static_cast<qint64>(read.size()))
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

bool ConfigFiles::detectorReady(const QString& what) {
    if (link_.State() == LinkState::Polling && link_.ParametersKnown) return true;
    dialogs::ShowMessage(window_, what + QStringLiteral(" needs a connected detector whose parameters have been read: "
                                                        "connect to the detector first, and wait until its "
                                                        "parameters are shown."));
    return false;
}

// After a question: the link may have stopped meanwhile, or been connected again by itself, perhaps
// to another detector, for which the answer was not given.
bool ConfigFiles::sameConnection(std::uint64_t connection, const QString& what) {
    if (!detectorReady(what)) return false;
    if (link_.Connections == connection) return true;
    dialogs::ShowMessage(window_, QStringLiteral("The link was connected again while the question was open, perhaps "
                                                 "to another detector: nothing was sent. Try again."));
    return false;
}

void ConfigFiles::openConfig() {
    // A file is loaded into the connected detector; without one there is nothing to load it into.
    if (!detectorReady(QStringLiteral("Loading a configuration"))) return;
    const QString name =
        dialogs::GetFileName(window_, dialogs::FileDialogKind::Open, QStringLiteral("Open Config"), FileFilter);
    if (!name.isEmpty()) loadConfig(name);
}

// Only what this detector reported is saved: before its read-back the record holds zeros, or the
// previous detector's set.
bool ConfigFiles::parametersToSave() {
    if (link_.ParametersKnown) return true;
    dialogs::ShowMessage(window_, QStringLiteral("Nothing was saved: no parameters have been read from the detector "
                                                 "since Connect. Connect to it and wait until its parameters are "
                                                 "shown, then save."));
    return false;
}

void ConfigFiles::saveConfig() {
    if (!parametersToSave()) return; // said before a name is asked for
    const QString name =
        dialogs::GetFileName(window_, dialogs::FileDialogKind::Save, QStringLiteral("Save Config"), FileFilter);
    if (!name.isEmpty()) writeConfig(name);
}

bool ConfigFiles::askToSend(const QString& question, const QString& source, const params::Record& bytes,
                            const QStringList& notes) {
    const auto differences =
        CompareParameters(params::DecodeRecord(bytes), params::DecodeRecord(link_.Stores.parameters));
    if (differences.empty()) {
        dialogs::ShowMessage(
            window_, QStringLiteral("%1 holds the same parameters as the detector: nothing was sent.").arg(source));
        return false;
    }
    QString text = question + QStringLiteral("\n\nIt changes %1 setting(s) on the detector (now -> %2):\n")
                                  .arg(differences.size())
                                  .arg(source);
    for (const ParameterDifference& d : differences)
        text += QStringLiteral("\n  %1: %2 -> %3").arg(d.name, d.detectorValue, d.fileValue);
    for (const QString& note : notes) text += QStringLiteral("\n\n") + note;
    return dialogs::AskYesNo(window_, text);
}

void ConfigFiles::send(const params::Record& bytes) {
    link_.Stores.parameters = bytes; // byte for byte, pads included
    {
        const Settings::Showing quiet(settings_);
        // Both lenses back to "User", so that the values meet the full ranges.
        for (QComboBox* lens : {view_.pir1.lens, view_.pir2.lens}) {
            if (lens->currentIndex() != 0) lens->setCurrentIndex(0); // runs its handler
            else if (lens == view_.pir1.lens) settings_.pir1LensChanged();
            else settings_.pir2LensChanged();
        }
        readBack_.ApplyParameters();
    }
    settings_.SendParameters(params::DecodeRecord(bytes));
}

void ConfigFiles::loadConfig(const QString& fileName) {
    // The link may have stopped while the dialog was open: nothing changes, and the user is told.
    if (!detectorReady(QStringLiteral("Loading a configuration"))) return;
    params::Record bytes{};
    QString error;
    qint64 size = 0;
    if (!configfile::ReadParameterFile(fileName, bytes, error, &size)) {
        dialogs::ShowWarning(window_, error);
        return;
    }
    QStringList notes;
    if (size != static_cast<qint64>(bytes.size()))
        notes << QStringLiteral("Note: the file holds %1 bytes, not %2: only its first %2 are used.")
                     .arg(size)
                     .arg(bytes.size());
    for (int pad : params::RecordPadOffsets)
        if (bytes[static_cast<std::size_t>(pad)] != 0) {
            notes << QStringLiteral("Note: its pad bytes are not zero: it may not be a parameter file.");
            break;
        }
    const std::vector<QString> outside = ValuesOutsideTheControls(params::DecodeRecord(bytes));
    if (!outside.empty()) {
        QString note = QStringLiteral("Note: these values lie outside what the controls can show; they are sent "
                                      "as they are (the detector may correct them), and the controls show the "
                                      "nearest value they take:");
        for (const QString& line : outside) note += QStringLiteral("\n  ") + line;
        notes << note;
    }
    const QString source = QStringLiteral("\"%1\"").arg(shown(fileName));
    const auto connection = link_.Connections;
    if (!askToSend(QStringLiteral("Load %1 into the detector?").arg(source), source, bytes, notes)) return;
    if (!sameConnection(connection, QStringLiteral("Loading a configuration"))) return;
    send(bytes);
}

void ConfigFiles::revert() {
    if (!detectorReady(QStringLiteral("Going back to the settings read at Connect"))) return;
    const std::optional<params::Record>& atConnect = settings_.ConnectTimeParameters();
    if (!atConnect) return; // known together with the parameters
    const params::Record bytes = *atConnect;
    const QString source = QStringLiteral("The set read at Connect");
    const auto connection = link_.Connections;
    QStringList notes;
    // A link that came back by itself may have come back to another detector on the same port.
    if (settings_.ConnectTimeConnection() != connection)
        notes << QStringLiteral("Note: the link was lost and connected again by itself since your Connect: if "
                                "another detector is on the line now, these parameters are not its own.");
    if (!askToSend(QStringLiteral("Send the parameters read at Connect back to the detector?"), source, bytes, notes))
        return;
    if (!sameConnection(connection, QStringLiteral("Going back to the settings read at Connect"))) return;
    send(bytes);
}

void ConfigFiles::OfferParameters(const params::Record& bytes, std::uint64_t connection, const QString& what,
                                  const QString& question, const QString& source, const QStringList& notes) {
    if (!sameConnection(connection, what)) return;
    if (!askToSend(question, source, bytes, notes)) return;
    if (!sameConnection(connection, what)) return;
    send(bytes);
}

void ConfigFiles::writeConfig(const QString& fileName) {
    if (!parametersToSave()) return;
    const params::Record bytes = link_.Stores.parameters;
    const QString target = dialogs::ConfirmReplacing(window_, fileName, configfile::WithBinExtension(fileName));
    if (target.isEmpty()) return;
    QString error;
    if (!configfile::WriteParameterFile(target, bytes, error)) dialogs::ShowWarning(window_, error);
}
