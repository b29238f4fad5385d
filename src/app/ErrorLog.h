// The program's error log, "LogError.txt" beside the executable: one entry per communication failure.
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
    // The log beside the running executable.
    static ErrorLog besideProgram();

    const std::string& path() const { return path_; }

    // Appends one entry at the end of the file; earlier lines are never rewritten.
    // Throws ELogWriteError when the file cannot be opened or written.
    void LogError(const LoggedException* exception, const std::string& text) const;

  private:
    std::string path_;
};

// The folder of the running executable, with a trailing '/'.
std::string ProgramFolder();
// The class name of an exception object, readable ("std::runtime_error", "ESynaSerError").
std::string ExceptionClassName(const std::exception& e);
