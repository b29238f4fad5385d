// Parameter files: the detector's 44-byte parameter record saved to and loaded from ".bin" files,
// and the Open Config / Save Config commands of the main window.
#pragma once

#include "config/ParameterBlock.h"

#include <QObject>
#include <QString>
#include <QStringList>

class PollCycle;
class ReadBack;
class Settings;
class QWidget;
struct ViewControls;

namespace configfile {

// The name a save writes: the name as given when it ends in "bin" (exactly, lower case), else
// the name with ".bin" appended.
QString WithBinExtension(const QString& name);

// Reads the first 44 bytes of a regular file on a disk, and its size. Anything else (a device, a FIFO,
// a file under /proc, /sys or /dev) is refused, and no read waits. On failure, error names the file and
// the reason.
bool ReadParameterFile(const QString& path, params::Record& bytes, QString& error, qint64* size = nullptr);
// Writes the 44 bytes through a temporary file that replaces the target only once complete, so
// an existing file survives any failure. On failure, error names the file and the reason.
bool WriteParameterFile(const QString& path, const params::Record& bytes, QString& error);

} // namespace configfile

class ConfigFiles : public QObject {
    Q_OBJECT
  public:
    ConfigFiles(QWidget* window, ViewControls& view, PollCycle& link, Settings& settings, ReadBack& readBack);

    // The commands: choose a file, then load or save it.
    void openConfig();
    void saveConfig();
    // Loads the file into the detector, once the user has seen what it changes and agreed: the
    // controls show it and it is sent at once.
    void loadConfig(const QString& fileName);
    // Saves the detector's parameters as last read back (with the output edits made since); nothing
    // when no parameters have been read since Connect.
    void writeConfig(const QString& fileName);
    // Sends the parameters read at Connect back to the detector, once the user has agreed.
    void revert();
    // Sends a set made in the program (suggested thresholds) for the connection it was made on, as Open
    // Config sends a file: once the user has seen every change and agreed, one frame, then the read-back.
    // what names the command in messages.
    void OfferParameters(const params::Record& bytes, std::uint64_t connection, const QString& what,
                         const QString& question, const QString& source, const QStringList& notes);

  private:
    bool parametersToSave();
    // Polling, with the detector's parameters read: said in a box when not, naming what needs it.
    bool detectorReady(const QString& what);
    bool sameConnection(std::uint64_t connection, const QString& what);
    // Asks whether to send parameters that differ from the detector's; says so when none differ.
    bool askToSend(const QString& question, const QString& source, const params::Record& bytes,
                   const QStringList& notes);
    // The record becomes the detector's parameters on the screen (lenses back to "User"), and goes to
    // the detector exactly as it is.
    void send(const params::Record& bytes);

    QWidget* window_;
    ViewControls& view_;
    PollCycle& link_;
    Settings& settings_;
    ReadBack& readBack_;
};
