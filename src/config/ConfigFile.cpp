#include "config/ConfigFile.h"

#include "config/FileMode.h"
#include "config/ParameterOffers.h"
#include "config/ParameterSender.h"
#include "config/ParameterText.h"
#include "config/ReadBack.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "files/RegularFile.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>
#include <unistd.h>

namespace config {

namespace {

const QString FileFilter = QStringLiteral("bin (*.bin)");

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString hexByte(unsigned v) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

// What a parameter file holds beyond what the controls show, said before it is used.
QStringList fileNotes(const protocol::params::Record& bytes, qint64 size, const QString& outsideNote) {
    QStringList notes;
    if (size != static_cast<qint64>(bytes.size()))
        notes << QStringLiteral("Note: the file holds %1 bytes, not %2: only its first %2 are used.")
                     .arg(size)
                     .arg(bytes.size());
    for (int pad : protocol::params::RecordPadOffsets)
        if (bytes[static_cast<std::size_t>(pad)] != 0) {
            notes << QStringLiteral("Note: its pad bytes are not zero: it may not be a parameter file.");
            break;
        }
    const std::vector<QString> outside = ValuesOutsideTheControls(protocol::params::DecodeRecord(bytes));
    if (!outside.empty()) {
        QString note = outsideNote;
        for (const QString& line : outside) note += QStringLiteral("\n  ") + line;
        notes << note;
    }
    return notes;
}

} // namespace

QString WithBinExtension(const QString& name) {
    return name.endsWith(QLatin1String("bin"), Qt::CaseSensitive) ? name : name + QStringLiteral(".bin");
}

bool ReadParameterFile(const QString& path, protocol::params::Record& bytes, QString& error, qint64* size) {
    auto fail = [&](const QString& reason) {
        error = QStringLiteral("The parameter file \"%1\" could not be read: %2").arg(shown(path), reason);
        return false;
    };
    QString reason;
    const int fd = files::OpenRegularForReading(path, reason, size);
    if (fd < 0) return fail(reason);
    protocol::params::Record read{};
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

bool WriteParameterFile(const QString& path, const protocol::params::Record& bytes, QString& error) {
    if (QString reason; !files::MayReplace(path, reason)) {
        error = QStringLiteral("The parameter file \"%1\" could not be written: %2").arg(shown(path), reason);
        return false;
    }
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

std::vector<ParameterDifference> CompareRecords(const protocol::params::Record& first,
                                                const protocol::params::Record& second) {
    const protocol::params::Parameters a = protocol::params::DecodeRecord(first),
                                       b = protocol::params::DecodeRecord(second);
    std::vector<ParameterDifference> out = CompareParameters(a, b);
    // What a settings frame never carries as it is, but a file holds.
    if ((a.flags ^ b.flags) & protocol::params::StoreRequest)
        out.push_back({QStringLiteral("flags word bit 14 (store request)"),
                       (a.flags & protocol::params::StoreRequest) ? "1" : "0",
                       (b.flags & protocol::params::StoreRequest) ? "1" : "0"});
    for (std::size_t i = 0; i < a.reserved.size(); ++i)
        if (a.reserved[i] != b.reserved[i])
            out.push_back(
                {QStringLiteral("reserved byte %1").arg(i + 1), hexByte(a.reserved[i]), hexByte(b.reserved[i])});
    for (int pad : protocol::params::RecordPadOffsets) {
        const auto at = static_cast<std::size_t>(pad);
        if (first[at] != second[at])
            out.push_back({QStringLiteral("pad byte at offset %1").arg(pad), hexByte(first[at]), hexByte(second[at])});
    }
    return out;
}

ConfigFiles::ConfigFiles(QWidget* window, view::ViewControls& view, seriallink::PollCycle& link,
                         ParameterSender& sender, ReadBack& readBack)
    : QObject(window), window_(window), link_(link), fileMode_(new FileMode(sender, readBack, this)),
      offers_(new ParameterOffers(window, view, link, sender, readBack)) {}

void ConfigFiles::setNotice(std::function<void(const QString&)> notice) {
    notice_ = notice;
    offers_->setNotice(std::move(notice));
}

void ConfigFiles::openConfig() {
    // Without a detector the file is opened on its own; connected, it is loaded into the detector.
    const bool polling = link_.State() == seriallink::LinkState::Polling;
    if (polling ? !offers_->DetectorReady(QStringLiteral("Loading a configuration")) : !withoutDetector()) return;
    const QString name =
        dialogs::GetFileName(window_, dialogs::FileDialogKind::Open, QStringLiteral("Open Config"), FileFilter);
    if (name.isEmpty()) return;
    if (polling) loadConfig(name);
    else openFile(name);
}

// File mode never goes beside a detector, nor while the link may come back by itself.
bool ConfigFiles::withoutDetector() {
    switch (link_.State()) {
    case seriallink::LinkState::Closed:
    case seriallink::LinkState::Halted: return true;
    case seriallink::LinkState::Reconnecting:
        dialogs::ShowMessage(window_, QStringLiteral("The link waits for its port to connect again by itself: a file "
                                                     "is opened without a detector once the link is closed. Click "
                                                     "Disconnect first."));
        return false;
    case seriallink::LinkState::Polling:
        dialogs::ShowMessage(window_, QStringLiteral("A detector is connected now: nothing was opened. Open Config "
                                                     "again to load the file into it."));
        return false;
    }
    return false;
}

void ConfigFiles::openFile(const QString& fileName) {
    if (!withoutDetector()) return; // (connected while the dialog was open)
    // (Asked before the read: the file saved may be the one opened.)
    if (!mayLeaveFile(QStringLiteral("Save them before \"%1\" is opened?").arg(shown(fileName)))) return;
    protocol::params::Record bytes{};
    QString error;
    qint64 size = 0;
    if (!ReadParameterFile(fileName, bytes, error, &size)) {
        dialogs::ShowWarning(window_, error);
        return;
    }
    const bool whole = size == static_cast<qint64>(bytes.size());
    fileMode_->Open(fileName, bytes, whole);
    QStringList notes = fileNotes(bytes, size,
                                  QStringLiteral("Note: these values lie outside what the controls can show; the "
                                                 "controls show the nearest value they take, and the file keeps its "
                                                 "own unless the control is moved:"));
    if (!whole) notes << QStringLiteral("Save Config writes the 44 bytes alone, under a name you choose.");
    if (!notes.isEmpty())
        dialogs::ShowMessage(
            window_, QStringLiteral("\"%1\" is open without a detector: nothing is sent.\n\n").arg(shown(fileName)) +
                         notes.join(QStringLiteral("\n\n")));
}

bool ConfigFiles::mayLeaveFile(const QString& before) {
    if (!fileMode_->Edited()) return true;
    const QStringList buttons{QStringLiteral("&Save"), QStringLiteral("&Don't Save"), QStringLiteral("Cancel")};
    const QString text =
        QStringLiteral("The changes made to \"%1\" are not saved.\n\n%2").arg(shown(fileMode_->Path()), before);
    switch (dialogs::AskChoice(window_, text, buttons)) {
    case 0: return saveFileInPlace();
    case 1: return true;
    default: return false;
    }
}

// Save to the file's own name, when it is still the file that was read: else a name is asked for.
bool ConfigFiles::saveFileInPlace() {
    const QString path = fileMode_->Path();
    QString why;
    protocol::params::Record now{};
    qint64 size = 0;
    QString error;
    if (!fileMode_->Whole())
        why = QStringLiteral("\"%1\" holds more than a parameter file: it is not replaced.").arg(shown(path));
    else if (!ReadParameterFile(path, now, error, &size) || size != static_cast<qint64>(now.size()) ||
             now != fileMode_->OnDisk())
        why = QStringLiteral("\"%1\" was changed or removed since it was read: it is not replaced.").arg(shown(path));
    else if (WriteParameterFile(path, fileMode_->Record(), error)) {
        fileMode_->Saved(path, fileMode_->Record());
        return true;
    } else {
        why = error;
    }
    dialogs::ShowWarning(window_, why + QStringLiteral("\n\nChoose a name to save the changes under."));
    const QString name =
        dialogs::GetFileName(window_, dialogs::FileDialogKind::Save, QStringLiteral("Save Config"), FileFilter);
    if (name.isEmpty()) return false;
    writeConfig(name);
    return !fileMode_->Edited(); // saved under that name
}

void ConfigFiles::compareFiles() {
    const QString captions[2] = {QStringLiteral("Compare Files: the first file"),
                                 QStringLiteral("Compare Files: the second file")};
    QString names[2];
    protocol::params::Record records[2]{};
    QStringList notes;
    for (int i = 0; i < 2; ++i) {
        names[i] = dialogs::GetFileName(window_, dialogs::FileDialogKind::Open, captions[i], FileFilter);
        if (names[i].isEmpty()) return;
        QString error;
        qint64 size = 0;
        if (!ReadParameterFile(names[i], records[i], error, &size)) {
            dialogs::ShowWarning(window_, error);
            return;
        }
        if (size != static_cast<qint64>(records[i].size()))
            notes << QStringLiteral("Note: \"%1\" holds %2 bytes: only its first %3 are compared.")
                         .arg(shown(names[i]))
                         .arg(size)
                         .arg(records[i].size());
    }
    const auto differences = CompareRecords(records[0], records[1]);
    const QString pair = QStringLiteral("\"%1\" and \"%2\"").arg(shown(names[0]), shown(names[1]));
    QString text = differences.empty()
                       ? pair + QStringLiteral(" hold the same parameters, byte for byte.")
                       : pair + QStringLiteral(" differ in %1 setting(s) (first -> second):\n").arg(differences.size());
    for (const ParameterDifference& d : differences)
        text += QStringLiteral("\n  %1: %2 -> %3").arg(d.name, d.fileValue, d.detectorValue);
    for (const QString& note : notes) text += QStringLiteral("\n\n") + note;
    dialogs::ShowMessage(window_, text);
}

// Only what this detector reported is saved: before its read-back the record holds zeros, or the
// previous detector's set.
bool ConfigFiles::parametersToSave() {
    if (link_.ParametersKnown() || fileMode_->Active()) return true;
    dialogs::ShowMessage(window_, QStringLiteral("Nothing was saved: no parameters have been read from the detector "
                                                 "since Connect. Connect to it and wait until its parameters are "
                                                 "shown, then save."));
    return false;
}

void ConfigFiles::saveConfig() {
    if (!parametersToSave()) return; // said before a name is asked for
    // A name to start from: the site of the last installation report (else "detector") and today's date.
    // (In file mode, the file's own name.)
    const QString site = QSettings().value(QStringLiteral("report/site")).toString().trimmed();
    const QString suggested =
        fileMode_->Active() ? fileMode_->Path()
                            : dialogs::FileNameFrom(
                                  (site.isEmpty() ? QStringLiteral("detector") : site) + QLatin1Char(' ') +
                                  QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".bin"));
    const QString name = dialogs::GetFileName(window_, dialogs::FileDialogKind::Save, QStringLiteral("Save Config"),
                                              FileFilter, suggested);
    if (!name.isEmpty()) writeConfig(name);
}

void ConfigFiles::loadConfig(const QString& fileName) {
    // The link may have stopped while the dialog was open: nothing changes, and the user is told.
    const QString what = QStringLiteral("Loading a configuration");
    if (!offers_->DetectorReady(what)) return;
    protocol::params::Record bytes{};
    QString error;
    qint64 size = 0;
    if (!ReadParameterFile(fileName, bytes, error, &size)) {
        dialogs::ShowWarning(window_, error);
        return;
    }
    ParameterOffers::Offer offer;
    offer.make = [bytes] { return bytes; };
    offer.what = what;
    offer.source = QStringLiteral("\"%1\"").arg(shown(fileName));
    offer.question = QStringLiteral("Load %1 into the detector?").arg(offer.source);
    offer.notes =
        fileNotes(bytes, size,
                  QStringLiteral("Note: these values lie outside what the controls can show; they are sent as they "
                                 "are (the detector may correct them), and the controls show the nearest value they "
                                 "take:"));
    offer.connection = link_.counters().Connections;
    offers_->offer(offer);
}

void ConfigFiles::writeConfig(const QString& fileName) {
    if (!parametersToSave()) return;
    // In file mode, the file as read with the changes made to it.
    const protocol::params::Record bytes = fileMode_->Active() ? fileMode_->Record() : link_.stores().parameters;
    const QString target = dialogs::ConfirmReplacing(window_, fileName, WithBinExtension(fileName));
    if (target.isEmpty()) return;
    QString error;
    if (!WriteParameterFile(target, bytes, error)) dialogs::ShowWarning(window_, error);
    else {
        const bool file = fileMode_->Active();
        if (file) fileMode_->Saved(target, bytes);
        if (notice_)
            notice_((file ? QStringLiteral("Saved the file's parameters to \"%1\".")
                          : QStringLiteral("Saved the detector's parameters to \"%1\"."))
                        .arg(shown(target)));
    }
}

} // namespace config

#include "moc_ConfigFile.cpp"
