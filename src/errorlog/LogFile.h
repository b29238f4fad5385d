// The few file operations the error log is made of, each platform's own (ErrorLogPosix.cpp,
// ErrorLogWin32.cpp), so that the log's rules are written once (ErrorLog.cpp).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace errorlog::logfile {

// An open log file; None when there is none.
using Handle = std::intptr_t;
inline constexpr Handle None = -1;

// Opens the log at path for appending, created as needed, never through a symbolic link. Anything but a
// regular file in its place is refused: refusal then says what is there ("a FIFO") and None is returned,
// as on any other failure (LastError() says why).
Handle OpenForAppending(const std::string& path, std::string& refusal);
// True when the file holds something and its last byte is no line end.
bool EndsWithoutLineEnd(Handle file);
// Writes all of text at the end of the file; false (LastError() says why) when it could not.
bool Append(Handle file, const std::string& text);
void Close(Handle file);
// The system's code of the last failure, and its text.
int LastError();
std::string ErrorText(int error);
// Creates folder and the folders above it that are missing, private to the user. Failures are left for
// the first write to report.
void MakeFolders(const std::string& folder);
// folder with the platform's separator at its end (kept when it has one).
std::string WithSeparator(std::string folder);
// The local time now.
std::tm LocalNow();

} // namespace errorlog::logfile
