// The program's error log, "LogError.txt": one entry per communication failure. It is written beside the
// executable, or under $XDG_STATE_HOME/ostrevo-setup/ when that folder cannot take it (an installed program).
#pragma once

#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

// What an entry says about the exception that caused it.
struct LoggedException {
    std::string className;
    std::string message;
};

// Raised when the log cannot be written; the caller decides what to tell the user.
class ELogWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The lines of one entry for the given local time, without line ends.
std::vector<std::string> FormatLogEntry(const std::tm& when, const LoggedException* exception, const std::string& text);

class ErrorLog {
  public:
    // The log in the given folder (a trailing separator is optional).
    explicit ErrorLog(std::string folder);
    // The log beside the running executable when a file can be written there, otherwise the log in
    // StateLogFolder().
    static ErrorLog besideProgram();
    // The log in first when a file can be written there, otherwise the log in fallback, whose folders
    // are created as needed. A fallback that cannot be created either still names the log: writing to
    // it then throws, so that the caller can tell the user.
    static ErrorLog firstWritable(const std::string& first, const std::string& fallback);

    const std::string& path() const { return path_; }

    // Appends one entry at the end of the file; earlier lines are never rewritten.
    // Throws ELogWriteError when the file cannot be opened or written.
    void LogError(const LoggedException* exception, const std::string& text) const;

  private:
    std::string path_;
};

// The folder of the running executable, with a trailing '/'.
std::string ProgramFolder();
// The user's folder for the log of an installed program, with a trailing '/': $XDG_STATE_HOME/ostrevo-setup/,
// or ~/.local/state/ostrevo-setup/ when XDG_STATE_HOME is unset, empty or not an absolute path.
std::string StateLogFolder();
// True when a file can be created in folder or its LogError.txt can be appended to. Tried for real: as
// root, permission bits alone do not tell (a read-only file system or /proc refuses root too).
bool LogFolderWritable(const std::string& folder);
// The class name of an exception object, readable ("std::runtime_error", "ESynaSerError").
std::string ExceptionClassName(const std::exception& e);
