// ostrevo-line-peer: the Linux side of the Windows tests under wine. It maps pseudo-terminals to COM ports of
// a wine prefix (a link in its dosdevices folder), runs the test under wine, and serves the test's commands,
// which arrive on a control port of their own:
//   ostrevo-line-peer --prefix WINEPREFIX [--line N] [--control N] [--sim PROGRAM] -- COMMAND [ARGUMENTS...]
// --line N maps a line for the serial tests to COM<N> (the test plays its far end through commands);
// --sim PROGRAM starts the Linux virtual detector on its own pseudo-terminal and maps that to COM<N>
// instead. Commands (one line each; the answer is one line, "ok ..." or "error ..."):
//   send HEX             writes the bytes to the line at once
//   pace N FIRST US      writes N bytes counting up from FIRST, one every US microseconds
//   sent MS              the bytes the test wrote to the line: "ok HEX" (waits up to MS for the first)
//   stall on|off         the line stops (or starts again) taking the test's bytes, as a stopped output
//   termios              the line's settings as the test's port left them ("ok speed 9600 csize 8 ...")
//   canonical            sets the line to 9600 baud, canonical, echo (to see whether a port restores them)
//   hangup               the far end goes away (an adapter pulled out); renew: a new line at the same COM
//   sim TEXT             hands TEXT to the virtual detector: its answer line
// The exit status is the test's; the links are removed at the end.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    int slave = -1; // our own hold, so that the line stays up between the test's opens
    std::string path;

    bool open() {
        char name[128] = {};
        termios raw{};
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B19200);
        if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return false;
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        path = name;
        return true;
    }
    void close() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
        master = slave = -1;
    }
};

std::string hex(const std::vector<unsigned char>& bytes) {
    std::string out;
    char two[3];
    for (unsigned char b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        out += two;
    }
    return out;
}

std::vector<unsigned char> unhex(const std::string& text) {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

class Peer {
  public:
    std::string prefix;
    int lineNumber = 5;
    int controlNumber = 9;
    std::string sim;

    bool start(std::string& error) {
        if (!control_.open() || !link(controlNumber, control_.path)) {
            error = "no control line";
            return false;
        }
        if (!sim.empty()) return startSim(error);
        if (!line_.open() || !link(lineNumber, line_.path)) {
            error = "no line";
            return false;
        }
        return true;
    }

    // Serves the commands until the child ends; returns its exit status.
    int serve(pid_t child) {
        std::string pending;
        for (;;) {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            int timeoutMs = 50;
            if (!paced_.empty()) {
                const auto due = std::chrono::ceil<std::chrono::milliseconds>(paced_.front().first - Clock::now());
                timeoutMs = static_cast<int>(std::clamp<long>(due.count(), 0, 50));
            }
            pollfd fds[1] = {{control_.master, POLLIN, 0}};
            if (::poll(fds, 1, timeoutMs) > 0 && (fds[0].revents & POLLIN)) {
                char buf[512];
                const ssize_t n = ::read(control_.master, buf, sizeof buf);
                if (n > 0) pending.append(buf, static_cast<std::size_t>(n));
                for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                    std::string command = pending.substr(0, nl);
                    pending.erase(0, nl + 1);
                    if (!command.empty() && command.back() == '\r') command.pop_back();
                    answer(run(command));
                }
            }
            writePaced();
        }
    }

    void stop() {
        for (int number : {lineNumber, controlNumber}) ::unlink(dosDevice(number).c_str());
        if (simPid_ > 0) {
            ::kill(simPid_, SIGTERM);
            ::waitpid(simPid_, nullptr, 0);
        }
        line_.close();
        control_.close();
    }

  private:
    std::string dosDevice(int number) const { return prefix + "/dosdevices/com" + std::to_string(number); }

    bool link(int number, const std::string& target) {
        const std::string name = dosDevice(number);
        ::unlink(name.c_str());
        return ::symlink(target.c_str(), name.c_str()) == 0;
    }

    bool startSim(std::string& error) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
        simPid_ = ::fork();
        if (simPid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(sim.c_str(), sim.c_str(), "--seed", "7", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        simIn_ = in[1];
        simOut_ = ::fdopen(out[0], "r");
        const std::string port = readSimLine();
        if (port.empty() || !link(lineNumber, port)) {
            error = "the virtual detector gave no port";
            return false;
        }
        return true;
    }

    std::string readSimLine() {
        char buf[512];
        if (!simOut_ || !std::fgets(buf, sizeof buf, simOut_)) return {};
        std::string line = buf;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }

    void answer(const std::string& text) {
        const std::string line = text + "\n";
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(control_.master, line.data() + done, line.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else ::poll(nullptr, 0, 1);
        }
    }

    void writeLine(const std::vector<unsigned char>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size() && line_.master >= 0) {
            const ssize_t n = ::write(line_.master, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else ::poll(nullptr, 0, 1);
        }
    }

    void writePaced() {
        while (!paced_.empty() && paced_.front().first <= Clock::now()) {
            writeLine({paced_.front().second});
            paced_.pop_front();
        }
    }

    std::vector<unsigned char> readSent(int waitMs) {
        std::vector<unsigned char> out;
        pollfd p{line_.master, POLLIN, 0};
        while (line_.master >= 0 && ::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
            unsigned char buf[512];
            const ssize_t n = ::read(line_.master, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
            waitMs = 20;
        }
        return out;
    }

    std::string termiosText() {
        termios t{};
        if (::tcgetattr(line_.slave, &t) != 0) return "error no line";
        const speed_t speed = ::cfgetospeed(&t);
        const int baud = speed == B9600 ? 9600 : speed == B19200 ? 19200 : speed == B38400 ? 38400 : -1;
        const int size = (t.c_cflag & CSIZE) == CS5   ? 5
                         : (t.c_cflag & CSIZE) == CS6 ? 6
                         : (t.c_cflag & CSIZE) == CS7 ? 7
                                                      : 8;
        std::ostringstream o;
        o << "ok speed " << baud << " csize " << size << " parenb " << ((t.c_cflag & PARENB) ? 1 : 0) << " cstopb "
          << ((t.c_cflag & CSTOPB) ? 1 : 0) << " ixon " << ((t.c_iflag & IXON) ? 1 : 0) << " icanon "
          << ((t.c_lflag & ICANON) ? 1 : 0);
        return o.str();
    }

    std::string run(const std::string& command) {
        std::istringstream in(command);
        std::string word;
        in >> word;
        if (word == "sim") {
            if (simIn_ < 0) return "error no virtual detector";
            const std::string text = command.substr(4) + "\n";
            if (::write(simIn_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "error write";
            // Its answer: "ok <command>" or "unknown ...", after any lines of its own (a status).
            std::string said;
            for (;;) {
                const std::string line = readSimLine();
                if (line.empty() && !simOut_) return "error no answer";
                if (line.rfind("ok ", 0) == 0 || line.rfind("unknown", 0) == 0 || line.empty())
                    return said.empty() ? line : line + " | " + said;
                said += said.empty() ? line : "; " + line;
            }
        }
        if (word == "send") {
            std::string bytes;
            in >> bytes;
            writeLine(unhex(bytes));
            return "ok";
        }
        if (word == "pace") {
            int n = 0, first = 0;
            long us = 0;
            in >> n >> first >> us;
            auto at = Clock::now() + std::chrono::milliseconds(2);
            for (int i = 0; i < n; ++i, at += std::chrono::microseconds(us))
                paced_.emplace_back(at, static_cast<unsigned char>(first + i));
            return "ok";
        }
        if (word == "sent") {
            int ms = 20;
            in >> ms;
            return "ok " + hex(readSent(ms));
        }
        if (word == "stall") {
            std::string state;
            in >> state;
            return ::tcflow(line_.slave, state == "on" ? TCOOFF : TCOON) == 0 ? "ok" : "error tcflow";
        }
        if (word == "termios") return termiosText();
        if (word == "canonical") {
            termios t{};
            ::tcgetattr(line_.slave, &t);
            t.c_lflag |= ICANON | ECHO;
            ::cfsetspeed(&t, B9600);
            return ::tcsetattr(line_.slave, TCSANOW, &t) == 0 ? "ok" : "error tcsetattr";
        }
        if (word == "hangup") {
            paced_.clear();
            line_.close();
            return "ok";
        }
        if (word == "renew") {
            paced_.clear(); // (bytes still to pace belonged to the line that goes)
            line_.close();
            return line_.open() && link(lineNumber, line_.path) ? "ok" : "error no line";
        }
        return "error unknown command: " + command;
    }

    Pty control_;
    Pty line_;
    std::deque<std::pair<Clock::time_point, unsigned char>> paced_;
    pid_t simPid_ = -1;
    int simIn_ = -1;
    FILE* simOut_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    Peer peer;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") break;
        if (i + 1 >= argc) return 2;
        if (a == "--prefix") peer.prefix = argv[++i];
        else if (a == "--line") peer.lineNumber = std::atoi(argv[++i]);
        else if (a == "--control") peer.controlNumber = std::atoi(argv[++i]);
        else if (a == "--sim") peer.sim = argv[++i];
        else return 2;
    }
    if (peer.prefix.empty() || i + 1 >= argc) {
        std::fputs(
            "usage: ostrevo-line-peer --prefix WINEPREFIX [--line N] [--control N] [--sim PROGRAM] -- COMMAND...\n",
            stderr);
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    std::string error;
    if (!peer.start(error)) {
        std::fprintf(stderr, "ostrevo-line-peer: %s\n", error.c_str());
        peer.stop();
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[i + 1], argv + i + 1);
        std::fprintf(stderr, "ostrevo-line-peer: cannot run %s: %s\n", argv[i + 1], std::strerror(errno));
        ::_exit(127);
    }
    const int status = peer.serve(child);
    peer.stop();
    return status;
}
