// The error log's files and places on Linux.
#include "errorlog/ErrorLog.h"

#include "errorlog/LogFile.h"
#include "errorlog/StateFolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace errorlog {

namespace {

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

// What holds a log's name when it is not a regular file; empty for a regular file.
std::string notARegularFile(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

// Opens the log at path for appending, created as needed, never through a symbolic link. Anything but a
// regular file in its place is refused: refusal then says what is there and -1 is returned, as on any
// other failure (errno set).
int openLogFile(const std::string& path, std::string& refusal) {
    refusal.clear();
    // Looked at before it is opened, since opening a device or a FIFO may itself do something.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) refusal = notARegularFile(st.st_mode);
    if (!refusal.empty()) return -1;
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        if (errno == ELOOP) refusal = "a symbolic link"; // put there after the look
        return -1;
    }
    // Whatever was put in its place after the look, the descriptor tells what was opened.
    if (::fstat(fd, &st) != 0 || !(refusal = notARegularFile(st.st_mode)).empty()) {
        ::close(fd);
        if (refusal.empty()) refusal = "not a regular file";
        return -1;
    }
    return fd;
}

} // namespace

namespace logfile {

Handle OpenForAppending(const std::string& path, std::string& refusal) {
    const int fd = openLogFile(path, refusal);
    return fd < 0 ? None : fd;
}

bool EndsWithoutLineEnd(Handle file) {
    const int fd = static_cast<int>(file);
    struct stat st {};
    char last = '\n';
    return ::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

bool Append(Handle file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(static_cast<int>(file), text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void Close(Handle file) {
    ::close(static_cast<int>(file));
}

int LastError() {
    return errno;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

void MakeFolders(const std::string& folder) {
    makeFolders(folder);
}

std::string WithSeparator(std::string folder) {
    return withSlash(std::move(folder));
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace logfile

std::string ProgramFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// A build tree is recognised by CMake's own mark, CMakeCache.txt (a regular file), in the executable's
// folder (build/ostrevo-setup) or in the folder above it (build/tests/test_install), and only when that
// folder belongs to the user running the program and lies outside the folders an installation uses.
// An installed program has no CMakeCache.txt beside it, whether under /usr, /usr/local, /opt or a prefix
// of its own; a build tree of another user is not ours to write in (root included), and nothing under
// the system's folders is written at run time, whatever lies there. The mark is CMake's rather than one
// of ours so that no install step can carry it along by mistake: CMake never installs its cache.
bool IsBuildTree(const std::string& folder) {
    char real[PATH_MAX];
    if (!::realpath(folder.c_str(), real)) return false;
    const std::string dir = withSlash(real);
    static const char* const systemFolders[] = {"/usr/", "/bin/", "/sbin/", "/lib/",  "/lib32/", "/lib64/", "/libx32/",
                                                "/opt/", "/etc/", "/var/",  "/boot/", "/snap/",  "/nix/"};
    if (dir == "/") return false;
    for (const char* system : systemFolders)
        if (dir.rfind(system, 0) == 0) return false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || st.st_uid != ::geteuid()) return false;
    auto hasCache = [](const std::string& d) {
        struct stat cache {};
        return ::lstat((d + "CMakeCache.txt").c_str(), &cache) == 0 && S_ISREG(cache.st_mode);
    };
    if (hasCache(dir)) return true;
    const std::string parent = dir.substr(0, dir.rfind('/', dir.size() - 2) + 1);
    return !parent.empty() && hasCache(parent);
}

std::string StateFolder() {
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
    // Never through a link, and never opening a device or a FIFO: those leave it to the probe below.
    struct stat st {};
    const bool regular = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    int fd = regular ? ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY) : -1;
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (regular && errno != ENOENT) return false;
    // No log yet: a file of our own, created and removed at once, tells whether the folder takes one.
    std::string probe = withSlash(folder) + ".LogError.XXXXXX";
    fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

} // namespace errorlog
