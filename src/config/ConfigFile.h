// Parameter files: the detector's 44-byte parameter record saved to and loaded from ".bin" files,
// the Open Config / Save Config commands of the main window, and Compare Files.
#pragma once

#include "config/ParameterText.h"
#include "protocol/ParameterBlock.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;
namespace seriallink {
class PollCycle;
} // namespace seriallink
namespace view {
struct ViewControls;
} // namespace view

namespace config {

class FileMode;
class ParameterOffers;
class ReadBack;
class ParameterSender;

// The name a save writes: the name as given when it ends in "bin" (exactly, lower case), else
// the name with ".bin" appended.
QString WithBinExtension(const QString& name);

// Reads the first 44 bytes of a regular file on a disk, and its size. Anything else (a device, a FIFO,
// a file under /proc, /sys or /dev) is refused, and no read waits. On failure, error names the file and
// the reason.
bool ReadParameterFile(const QString& path, protocol::params::Record& bytes, QString& error, qint64* size = nullptr);
// Writes the 44 bytes through a temporary file that replaces the target only once complete, so
// an existing file survives any failure. On failure, error names the file and the reason.
bool WriteParameterFile(const QString& path, const protocol::params::Record& bytes, QString& error);
// Where two parameter files differ, every byte of them: the settings and the bits a settings frame
// carries, then the store request bit, the reserved bytes and the pad bytes.
std::vector<ParameterDifference> CompareRecords(const protocol::params::Record& first,
                                                const protocol::params::Record& second);

class ConfigFiles : public QObject {
    Q_OBJECT
  public:
    ConfigFiles(QWidget* window, view::ViewControls& view, seriallink::PollCycle& link, ParameterSender& sender,
                ReadBack& readBack);

    // Where a saved file is confirmed (the status bar).
    void setNotice(std::function<void(const QString&)> notice);
    // The commands: choose a file, then load or save it. Without a detector, Open Config opens the
    // file in file mode and Save Config writes it.
    void openConfig();
    void saveConfig();
    // Opens a parameter file in file mode: on the controls, edited there, nothing sent.
    void openFile(const QString& fileName);
    FileMode& fileMode() { return *fileMode_; }
    // Before the file mode's file goes (Connect, Exit, another file): edits that are not saved are
    // asked about (Save, Don't Save, Cancel). True when it may go; Save saves to the file's own name
    // (or asks for a name where it cannot).
    bool mayLeaveFile(const QString& before);
    // Compare Files: asks for two parameter files and lists where they differ.
    void compareFiles();
    // Loads the file into the detector, once the user has seen what it changes and agreed: the
    // controls show it and it is sent at once.
    void loadConfig(const QString& fileName);
    // Saves the detector's parameters as last read back (with the output edits made since); nothing
    // when no parameters have been read since Connect.
    void writeConfig(const QString& fileName);
    // The whole sets offered to the detector (a file loaded, Revert, Undo, suggestions).
    ParameterOffers& offers() { return *offers_; }

  private:
    bool parametersToSave();
    bool withoutDetector();
    bool saveFileInPlace();

    QWidget* window_;
    seriallink::PollCycle& link_;
    FileMode* fileMode_;
    ParameterOffers* offers_;
    std::function<void(const QString&)> notice_;
};

} // namespace config
