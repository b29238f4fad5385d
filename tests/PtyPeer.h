// A pseudo-terminal for tests: the program opens the slave by its path, the test plays the
// detector on the master side.
#pragma once

#include <QtGlobal>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

class PtyPeer {
  public:
    PtyPeer() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) qFatal("openpty failed");
        path_ = name;
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~PtyPeer() {
        hangUp();
        if (slave_ >= 0) ::close(slave_);
    }

    const std::string& path() const { return path_; }
    int master() const { return master_; }
    int slave() const { return slave_; }

    void write(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else ::poll(nullptr, 0, 1);
        }
    }

    // Everything the program has sent so far, waiting briefly for it to arrive.
    std::vector<std::uint8_t> readSent(int waitMs = 20) {
        std::vector<std::uint8_t> out;
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
            std::uint8_t buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
            waitMs = 5;
        }
        return out;
    }

    // The detector goes away (an adapter pulled out): the slave side sees a hang-up.
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
