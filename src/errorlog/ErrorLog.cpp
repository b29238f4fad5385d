// The error log's rules, the same on every platform; the files themselves are the platform's (LogFile.h).
#include "errorlog/ErrorLog.h"

#include "errorlog/LogFile.h"
#include "errorlog/LoggedName.h"
#include "errorlog/StateFolder.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace errorlog {

namespace {

std::string twoDigits(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", n % 100);
    return buf;
}

std::string systemError(const std::string& what, int err) {
    return what + ": " + logfile::ErrorText(err);
}

ErrorLog::Notice& refusalNotice() {
    static ErrorLog::Notice notice;
    return notice;
}

} // namespace

std::vector<std::string> FormatLogEntry(const std::tm& when, const LoggedException* exception,
                                        const std::string& text) {
    int hour12 = when.tm_hour % 12;
    if (hour12 == 0) hour12 = 12;
    const std::string stamp = twoDigits(hour12) + ":" + twoDigits(when.tm_min) + " " +
                              (when.tm_hour < 12 ? "am" : "pm") + " on " + twoDigits(when.tm_mon + 1) + "/" +
                              twoDigits(when.tm_mday) + "/" + twoDigits(when.tm_year % 100);
    std::vector<std::string> lines{"Error Time Stamp: " + stamp};
    if (exception) {
        lines.push_back("Error Class: " + exception->className);
        lines.push_back("Error Message: " + exception->message);
    }
    lines.push_back("Error String:  " + text);
    return lines;
}

ErrorLog::ErrorLog(std::string folder, std::string refuge)
    : path_(logfile::WithSeparator(std::move(folder)) + "LogError.txt"),
      refuge_(logfile::WithSeparator(std::move(refuge))) {
    // A refuge in the log's own folder would refuse the same file again.
    if (refuge_ + "LogError.txt" == path_) refuge_.clear();
    writtenTo_ = path_;
}

ErrorLog ErrorLog::besideProgram() {
    return ErrorLog(RunFilesFolder(), StateLogFolder());
}

ErrorLog ErrorLog::firstWritable(const std::string& first, const std::string& fallback) {
    if (LogFolderWritable(first)) return ErrorLog(first, fallback);
    logfile::MakeFolders(fallback);
    return ErrorLog(fallback);
}

void ErrorLog::SetNotice(Notice notice) {
    refusalNotice() = std::move(notice);
}

void ErrorLog::LogError(const LoggedException* exception, const std::string& text) const {
    std::string entry;
    for (const std::string& line : FormatLogEntry(logfile::LocalNow(), exception, text)) entry += line + "\r\n";

    std::string target = path_;
    std::string refusal;
    logfile::Handle file = logfile::OpenForAppending(target, refusal);
    if (file == logfile::None && !refusal.empty()) {
        // Someone else's file, or a trap: it is left alone and the entry goes to the refuge.
        const std::string why = path_ + " is " + refusal + ", which the error log does not write to";
        if (refuge_.empty()) throw ELogWriteError("Cannot write " + why);
        logfile::MakeFolders(refuge_);
        target = ErrorLog(refuge_).path();
        std::string refugeRefusal;
        file = logfile::OpenForAppending(target, refugeRefusal);
        if (file == logfile::None && !refugeRefusal.empty())
            throw ELogWriteError("Cannot write " + target + ": it is " + refugeRefusal);
        if (file != logfile::None && !refusalTold_) {
            refusalTold_ = true;
            const std::string told = why + "; it is written to " + target + " instead.";
            if (refusalNotice()) refusalNotice()(told);
            else std::fprintf(stderr, "ostrevo-setup: %s\n", told.c_str());
        }
    }
    if (file == logfile::None) throw ELogWriteError(systemError("Cannot open " + target, logfile::LastError()));
    writtenTo_ = target;
    struct Closer {
        logfile::Handle file;
        ~Closer() { logfile::Close(file); }
    } const closer{file};

    // A file whose last line has no line end (edited by hand) must not swallow our time stamp.
    if (logfile::EndsWithoutLineEnd(file)) entry.insert(0, "\r\n");
    // One write, so an entry is never interleaved; a short write is finished or reported.
    if (!logfile::Append(file, entry))
        throw ELogWriteError(systemError("Cannot write " + target, logfile::LastError()));
}

std::string RunFilesFolder() {
    const std::string program = ProgramFolder();
    if (IsBuildTree(program) && LogFolderWritable(program)) return program;
    const std::string state = StateLogFolder();
    logfile::MakeFolders(state);
    return state;
}

std::string StateLogFolder() {
    return StateFolder();
}

std::string ExceptionClassName(const std::exception& e) {
    if (const auto* named = dynamic_cast<const LoggedName*>(&e)) return named->loggedClassName();
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

} // namespace errorlog
