// Parameter files: the detector's 44-byte parameter record saved to and loaded from ".bin" files,
// and the Open Config / Save Config commands of the main window.
#pragma once

#include "config/ParameterBlock.h"

#include <QObject>
#include <QString>

class PollCycle;
class ReadBack;
class Settings;
class QWidget;
struct ViewControls;

namespace configfile {

// The name a save writes: the name as given when it ends in "bin" (exactly, lower case), else
// the name with ".bin" appended.
QString WithBinExtension(const QString& name);

// Reads the first 44 bytes of a regular file. On failure, error names the file and the reason.
bool ReadParameterFile(const QString& path, params::Record& bytes, QString& error);
// Writes the 44 bytes through a temporary file that replaces the target only once complete, so
// an existing file survives any failure. On failure, error names the file and the reason.
bool WriteParameterFile(const QString& path, const params::Record& bytes, QString& error);

} // namespace configfile

class ConfigFiles : public QObject {
    Q_OBJECT
  public:
    ConfigFiles(QWidget* window, ViewControls& view, PollCycle& link, Settings& settings, ReadBack& readBack);

    // The commands: choose a file, then load or save it.
    void FileOpen1Execute();
    void FileSaveAs1Execute();
    // Loads the file into the detector: the controls show it and it is sent at once.
    void FileOpen1Accept(const QString& fileName);
    // Saves the detector's parameters as last read back (with the output edits made since).
    void FileSaveAs1Accept(const QString& fileName);

  private:
    QWidget* window_;
    ViewControls& view_;
    PollCycle& link_;
    Settings& settings_;
    ReadBack& readBack_;
};
