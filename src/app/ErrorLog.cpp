#include "app/ErrorLog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>

namespace {

std::string twoDigits(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", n % 100);
    return buf;
}

std::string systemError(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// Creates folder and the folders above it that are missing, private to the user as XDG asks. Failures
// are left for the first write to report.
void makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
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

ErrorLog::ErrorLog(std::string folder) : path_(std::move(folder)) {
    if (!path_.empty() && path_.back() != '/') path_ += '/';
    path_ += "LogError.txt";
}

ErrorLog ErrorLog::besideProgram() {
    return firstWritable(ProgramFolder(), StateLogFolder());
}

ErrorLog ErrorLog::firstWritable(const std::string& first, const std::string& fallback) {
    if (LogFolderWritable(first)) return ErrorLog(first);
    makeFolders(fallback);
    return ErrorLog(fallback);
}

void ErrorLog::LogError(const LoggedException* exception, const std::string& text) const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);

    std::string entry;
    for (const std::string& line : FormatLogEntry(local, exception, text)) entry += line + "\r\n";

    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) throw ELogWriteError(systemError("Cannot open " + path_, errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } const closer{fd};

    // A file whose last line has no line end (edited by hand) must not swallow our time stamp.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') entry.insert(0, "\r\n");
    }

    // One write call, so an entry is never interleaved; a short write is finished or reported.
    std::size_t done = 0;
    while (done < entry.size()) {
        const ssize_t n = ::write(fd, entry.data() + done, entry.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ELogWriteError(systemError("Cannot write " + path_, errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string ProgramFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string StateLogFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return withSlash(state) + "ostrevo-setup/";
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] == '/') {
        home = env;
    } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
        home = user->pw_dir;
    }
    return withSlash(home) + ".local/state/ostrevo-setup/";
}

bool LogFolderWritable(const std::string& folder) {
    const std::string path = ErrorLog(folder).path();
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != ENOENT) return false;
    // No log yet: a file of our own, created and removed at once, tells whether the folder takes one.
    std::string probe = withSlash(folder) + ".LogError.XXXXXX";
    fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string ExceptionClassName(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}
