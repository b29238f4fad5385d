// The Windows tests' side of ostrevo-line-peer: commands to the far end of a line, sent over a control port
// of their own (plain Win32 calls, not the serial layer under test).
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

class LinePeerClient {
  public:
    // The control port the peer maps (COM9 unless told otherwise).
    explicit LinePeerClient(int controlNumber = 9) {
        const std::wstring name = L"\\\\.\\COM" + std::to_wstring(controlNumber);
        handle_ = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) return;
        // Reads return at once with what is there: the answer is waited for by looking again.
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        ::SetCommTimeouts(handle_, &t);
    }
    ~LinePeerClient() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    LinePeerClient(const LinePeerClient&) = delete;
    LinePeerClient& operator=(const LinePeerClient&) = delete;

    bool connected() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Sends one command and returns the peer's answer line ("ok ..."); empty when none came.
    QString command(const QString& text) {
        const QByteArray line = text.toUtf8() + '\n';
        DWORD written = 0;
        if (!::WriteFile(handle_, line.constData(), static_cast<DWORD>(line.size()), &written, nullptr)) return {};
        const ULONGLONG deadline = ::GetTickCount64() + 10000;
        for (;;) {
            if (const qsizetype end = pending_.indexOf('\n'); end >= 0) {
                const QString answer = QString::fromUtf8(pending_.left(end)).trimmed();
                pending_.remove(0, end + 1);
                return answer;
            }
            char buf[512];
            DWORD got = 0;
            if (!::ReadFile(handle_, buf, sizeof buf, &got, nullptr) || ::GetTickCount64() > deadline) return {};
            if (got == 0) ::Sleep(1);
            pending_.append(buf, static_cast<qsizetype>(got));
        }
    }

    bool ok(const QString& text) { return command(text).startsWith(QLatin1String("ok")); }

    void send(const std::vector<std::uint8_t>& bytes) { command(QStringLiteral("send ") + hex(bytes)); }

    // What the program under test wrote to the line, waiting up to waitMs for its first byte.
    std::vector<std::uint8_t> sent(int waitMs = 50) {
        const QString answer = command(QStringLiteral("sent %1").arg(waitMs));
        std::vector<std::uint8_t> bytes;
        const QString digits = answer.mid(3);
        for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(digits.mid(i, 2).toUInt(nullptr, 16)));
        return bytes;
    }

    static QString hex(const std::vector<std::uint8_t>& bytes) {
        QString out;
        for (std::uint8_t b : bytes) out += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        return out;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    QByteArray pending_;
};
