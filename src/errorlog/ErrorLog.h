// The program's error log, "LogError.txt": one entry per communication failure. A program run from its
// build tree writes it beside the executable; any other (an installed program) in the user's state folder
// (StateFolder.h: $XDG_STATE_HOME/ostrevo-setup/ on Linux, %LOCALAPPDATA%\ostrevo-setup\ on Windows).
#pragma once

#include "errorlog/LoggedName.h"

#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace errorlog {

// What an entry says about the exception that caused it.
struct LoggedException {
    std::string className;
    std::string message;
};

// Raised when the log cannot be written; the caller decides what to tell the user.
class ELogWriteError : public std::runtime_error, public LoggedName {
  public:
    using std::runtime_error::runtime_error;
    const char* loggedClassName() const override { return "ELogWriteError"; }
};

// The lines of one entry for the given local time, without line ends.
std::vector<std::string> FormatLogEntry(const std::tm& when, const LoggedException* exception, const std::string& text);

class ErrorLog {
  public:
    // Told once per log, the first time its file is refused, with a sentence for the user.
    using Notice = std::function<void(const std::string& text)>;

    // The log in the given folder (a trailing separator is optional). When refuge names a folder, an
    // entry the log's own file refuses (a symbolic link, a folder, a device or a FIFO in its place)
    // goes there instead, created as needed.
    explicit ErrorLog(std::string folder, std::string refuge = {});
    // The log in RunFilesFolder() (beside the executable in a build tree, else the state folder), with
    // StateLogFolder() as its refuge.
    static ErrorLog besideProgram();
    // The log in first when a file can be written there, otherwise the log in fallback, whose folders
    // are created as needed; fallback is the refuge either way. A fallback that cannot be created either
    // still names the log: writing to it then throws, so that the caller can tell the user.
    static ErrorLog firstWritable(const std::string& first, const std::string& fallback);
    // Who is told when a log refuses its file (the main window's status bar). Without one, stderr.
    static void SetNotice(Notice notice);

    const std::string& path() const { return path_; }
    // Where entries went last: path(), or the refuge's log once path() was refused.
    const std::string& writtenTo() const { return writtenTo_; }

    // Appends one entry at the end of the file; earlier lines are never rewritten. The file is never
    // reached through a symbolic link, and only a regular file is written.
    // Throws ELogWriteError when neither the file nor the refuge's can be opened or written.
    void LogError(const LoggedException* exception, const std::string& text) const;

  private:
    std::string path_;
    std::string refuge_;
    mutable std::string writtenTo_;
    mutable bool refusalTold_ = false;
};

// The folder of the running executable, with a trailing separator.
std::string ProgramFolder();
// True when folder (with or without a trailing separator) is a build tree of the program: see
// ErrorLogPosix.cpp (ErrorLogWin32.cpp on Windows).
bool IsBuildTree(const std::string& folder);
// The folder for what the program writes while it runs (the error log, the virtual detector's log of a
// demo), with a trailing separator: the executable's own in a build tree that can be written, else
// StateLogFolder(), created as needed.
std::string RunFilesFolder();
// The user's folder for the log of an installed program: StateFolder() (StateFolder.h).
std::string StateLogFolder();
// True when a file can be created in folder or its LogError.txt can be appended to. Tried for real: as
// root, permission bits alone do not tell (a read-only file system or /proc refuses root too).
// Never through a symbolic link, and never opening a device or a FIFO.
bool LogFolderWritable(const std::string& folder);
// The class name of an exception object, readable ("std::runtime_error"), or the name a LoggedName
// gives itself ("ESynaSerError").
std::string ExceptionClassName(const std::exception& e);

} // namespace errorlog
