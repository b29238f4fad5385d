// The error log's files and places on Windows: the log of an installed program in the user's local
// application data (%LOCALAPPDATA%\ostrevo-setup\), never beside the program in Program Files.
#include "errorlog/ErrorLog.h"

#include "errorlog/LogFile.h"
#include "errorlog/StateFolder.h"
#include "errorlog/TextWin32.h"

#include <cstdlib>
#include <cwctype>
#include <shlobj.h>

namespace errorlog {

using win32::Narrow;
using win32::Wide;

namespace {

thread_local DWORD lastFailure = 0;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// What holds a log's name when it is not a regular file, from its attributes; empty for a regular file.
std::string notARegularFile(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a symbolic link";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder";
    if (attributes & FILE_ATTRIBUTE_DEVICE) return "a device";
    return {};
}

std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The folder's full name, with a trailing backslash; empty when it has none.
std::wstring fullFolderName(const std::string& folder) {
    const std::wstring name = Wide(folder);
    const DWORD n = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring full(n, L'\0');
    full.resize(::GetFullPathNameW(name.c_str(), n, full.data(), nullptr));
    if (!full.empty() && full.back() != L'\\' && full.back() != L'/') full += L'\\';
    return full;
}

bool regularFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && notARegularFile(attributes).empty();
}

} // namespace

namespace logfile {

Handle OpenForAppending(const std::string& path, std::string& refusal) {
    refusal.clear();
    const std::wstring name = Wide(path);
    // Looked at before it is opened: a folder, a link or a device in its place is left alone.
    if (const DWORD attributes = ::GetFileAttributesW(name.c_str()); attributes != INVALID_FILE_ATTRIBUTES)
        refusal = notARegularFile(attributes);
    if (!refusal.empty()) return None;
    // Appending only (each write lands at the end), readable and appendable by others meanwhile, as a log
    // that a second copy of the program or an editor may have open. A link put there after the look is
    // opened as itself, not followed, and refused below.
    const HANDLE file = ::CreateFileW(name.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        lastFailure = ::GetLastError();
        return None;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK) refusal = "a device";
    else if (!::GetFileInformationByHandle(file, &info)) refusal = "not a regular file";
    else refusal = notARegularFile(info.dwFileAttributes);
    if (!refusal.empty()) {
        ::CloseHandle(file);
        return None;
    }
    return reinterpret_cast<Handle>(file);
}

bool EndsWithoutLineEnd(Handle file) {
    const HANDLE h = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size) || size.QuadPart <= 0) return false;
    OVERLAPPED at{};
    const ULONGLONG last = static_cast<ULONGLONG>(size.QuadPart - 1);
    at.Offset = static_cast<DWORD>(last);
    at.OffsetHigh = static_cast<DWORD>(last >> 32);
    char c = '\n';
    DWORD read = 0;
    return ::ReadFile(h, &c, 1, &read, &at) && read == 1 && c != '\n';
}

bool Append(Handle file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!::WriteFile(reinterpret_cast<HANDLE>(file), text.data() + done, static_cast<DWORD>(text.size() - done),
                         &written, nullptr)) {
            lastFailure = ::GetLastError();
            return false;
        }
        done += written;
    }
    return true;
}

void Close(Handle file) {
    ::CloseHandle(reinterpret_cast<HANDLE>(file));
}

int LastError() {
    return static_cast<int>(lastFailure);
}

std::string ErrorText(int error) {
    return win32::SystemErrorText(static_cast<DWORD>(error));
}

void MakeFolders(const std::string& folder) {
    std::wstring full = fullFolderName(folder);
    if (full.empty()) return;
    // Each folder on the way, from the drive's root on; those there already refuse quietly.
    for (std::size_t at = full.find_first_of(L"\\/", 3); at != std::wstring::npos;
         at = full.find_first_of(L"\\/", at + 1))
        ::CreateDirectoryW(full.substr(0, at).c_str(), nullptr);
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && !isSeparator(folder.back())) folder += '\\';
    return folder;
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    return local;
}

} // namespace logfile

std::string ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".\\";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string(".\\") : Narrow(path.substr(0, slash + 1));
}

// A build tree is recognised by CMake's own mark, CMakeCache.txt (a regular file), in the executable's
// folder or in the folder above it, and only outside the folders an installation uses (Program Files, the
// system's folder). CMake never installs its cache, so an installed program never writes beside itself.
bool IsBuildTree(const std::string& folder) {
    const std::wstring dir = fullFolderName(folder);
    if (dir.empty() || dir.size() <= 3) return false; // none, or a drive's root
    const std::wstring lower = lowered(dir);
    for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot"}) {
        const wchar_t* value = _wgetenv(variable);
        if (!value || !*value) continue;
        std::wstring system = lowered(value);
        if (system.back() != L'\\') system += L'\\';
        if (lower.rfind(system, 0) == 0) return false;
    }
    if (regularFile(dir + L"CMakeCache.txt")) return true;
    const std::size_t above = dir.find_last_of(L"\\/", dir.size() - 2);
    return above != std::wstring::npos && above > 2 && regularFile(dir.substr(0, above + 1) + L"CMakeCache.txt");
}

std::string StateFolder() {
    std::string base;
    wchar_t* known = nullptr;
    if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &known) == S_OK && known)
        base = Narrow(known);
    ::CoTaskMemFree(known);
    if (base.empty())
        if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local && *local) base = Narrow(local);
    if (base.empty())
        if (const wchar_t* temp = _wgetenv(L"TEMP"); temp && *temp) base = Narrow(temp);
    return logfile::WithSeparator(base) + "ostrevo-setup\\";
}

bool LogFolderWritable(const std::string& folder) {
    const std::wstring path = Wide(ErrorLog(folder).path());
    // Never through a link, and never opening a device: those leave it to the probe below.
    if (regularFile(path)) {
        const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return true;
        }
        if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    }
    // No log yet: a file of our own, made and gone at once, tells whether the folder takes one.
    const std::wstring probe = Wide(logfile::WithSeparator(folder)) + L".LogError." +
                               std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(::GetTickCount64());
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

} // namespace errorlog
