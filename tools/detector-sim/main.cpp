// ostrevo-detector-sim: a virtual detector on a pseudo-terminal. It prints the port's path on its
// first line, answers the program's polls and settings frames as the detector does, paced at
// 19200 baud, and takes fault-injection commands on its standard input ("help" lists them).
#include "CommandReader.h"
#include "DetectorModel.h"
#include "ReplyWriter.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

// One byte at 19200 baud with 8N1: ten bits.
constexpr auto ByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 19200);

// Faults in time; those of the reply bytes themselves are the ReplyWriter's.
struct Faults {
    long silentAfter = -1; // go silent once this many replies were sent
    long silentForMs = -1; // for this long (-1: for good)
    Clock::time_point silentUntil{};
    long dribbleMs = 0;               // pause between the bytes of a reply
    long hangupAfter = -1;            // close the line once this many replies were sent
    Clock::time_point stalledUntil{}; // the line takes no bytes from the program until then
    bool stalled = false;
};

struct Options {
    std::string link;
    std::string flash;
    bool pacing = true;
    bool emptyMemory = false;
    double intruderPeriod = 8.0;
    unsigned seed = 1;
    Faults faults;
    ReplyWriter writer;
};

const char* const Usage =
    "usage: ostrevo-detector-sim [--link PATH] [--flash FILE] [--no-pacing] [--empty-memory]\n"
    "       [--intruder-every SECONDS] [--seed N] [--silent-after N] [--silent-for MS] [--drop-every N]\n"
    "       [--corrupt-every N] [--surplus N] [--lengthen N] [--dribble MS] [--hangup-after N]\n";

const char* const Help =
    "commands:\n"
    "  the line:   silent MS | silent-after N [MS] | drop N (every Nth reply) | corrupt N (every Nth reply)\n"
    "              corrupt-next CODE (spoils the checksum of the next reply 7, 8, 9 or 12 only)\n"
    "              surplus N | dribble MS | pacing on|off\n"
    "              unplug MS (with --link: the port goes away and comes back at the link after MS)\n"
    "              hangup (closes the line for good)\n"
    "  the world:  intruder [PERCENT] | intruder-every SECONDS\n"
    "              periodic-walk on|off (the intruder's walk every few seconds; on at the start)\n"
    "              mask1|mask2|noise1|noise2|tamper|lowvoltage on|off\n"
    "              nr1|nr2 on|off (PIR1/PIR2 noise reduction forced on)\n"
    "              nr-bits keep|take (under temperature compensation: keep its own noise-reduction\n"
    "              bits, switching by itself with the noise, or take them from settings frames)\n"
    "              fault mw|pir1|pir2|cpu|lis302|lowvoltage on|off\n"
    "              autotest on|off (the auto test bit shows while Enable Auto Test is set as well)\n"
    "  the rest:   status | help | quit\n";

bool parseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        auto number = [&](long& out) {
            const char* v = value();
            if (!v) return false;
            char* end = nullptr;
            out = std::strtol(v, &end, 10);
            return *end == '\0';
        };
        long n = 0;
        if (a == "--link") {
            const char* v = value();
            if (!v) return false;
            o.link = v;
        } else if (a == "--flash") {
            const char* v = value();
            if (!v) return false;
            o.flash = v;
        } else if (a == "--no-pacing") {
            o.pacing = false;
        } else if (a == "--empty-memory") {
            o.emptyMemory = true;
        } else if (a == "--intruder-every" && number(n)) {
            o.intruderPeriod = static_cast<double>(n);
        } else if (a == "--seed" && number(n)) {
            o.seed = static_cast<unsigned>(n);
        } else if (a == "--silent-after" && number(o.faults.silentAfter)) {
        } else if (a == "--silent-for" && number(o.faults.silentForMs)) {
        } else if (a == "--drop-every" && number(o.writer.dropEvery)) {
        } else if (a == "--corrupt-every" && number(o.writer.corruptEvery)) {
        } else if (a == "--surplus" && number(o.writer.surplusEvery)) {
        } else if (a == "--lengthen" && number(o.writer.lengthen)) {
        } else if (a == "--dribble" && number(o.faults.dribbleMs)) {
        } else if (a == "--hangup-after" && number(o.faults.hangupAfter)) {
        } else {
            return false;
        }
    }
    return true;
}

class Simulator {
  public:
    explicit Simulator(const Options& o)
        : options_(o), model_(o.flash, o.seed,
                              o.emptyMemory ? DetectorModel::EventMemory::Empty : DetectorModel::EventMemory::Seeded),
          start_(Clock::now()) {
        model_.intruderPeriod = o.intruderPeriod;
    }
    ~Simulator() { closeLine(); }

    bool openLine(std::string& error) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        path_ = ::ptsname(master_);
        // Our own hold on the slave keeps the line up between the program's connections, and
        // sets it raw before the program first opens it.
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) {
            error = "cannot open " + path_ + ": " + std::strerror(errno);
            return false;
        }
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B19200);
        ::tcsetattr(slave_, TCSANOW, &raw);
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        if (!options_.link.empty()) {
            struct stat st {};
            if (::lstat(options_.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(options_.link.c_str());
            if (::symlink(path_.c_str(), options_.link.c_str()) != 0) {
                error = "cannot make the link " + options_.link + ": " + std::strerror(errno);
                return false;
            }
            linked_ = true;
        }
        return true;
    }

    const std::string& path() const { return path_; }

    int run() {
        std::string line;
        bool stdinOpen = true;
        while (!stopRequested && (master_ >= 0 || unplugged_)) {
            int timeoutMs = 50;
            if (unplugged_) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(plugInAt_ - Clock::now()).count();
                if (left <= 0) {
                    if (!plugIn()) return 1;
                } else {
                    timeoutMs = static_cast<int>(std::min<long>(left, timeoutMs));
                }
            }
            Faults& f = options_.faults;
            if (f.stalled) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(f.stalledUntil - Clock::now()).count();
                if (left <= 0) {
                    f.stalled = false;
                    if (slave_ >= 0) ::tcflow(slave_, TCOON);
                } else {
                    timeoutMs = static_cast<int>(std::min<long>(left, timeoutMs));
                }
            }
            // While unplugged the line's slot holds -1, which poll passes over.
            pollfd fds[2] = {{master_, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            const int r = ::poll(fds, stdinOpen ? 2 : 1, timeoutMs);
            if (r < 0 && errno != EINTR) break;
            if (r > 0 && (fds[0].revents & POLLIN)) readLine();
            if (r > 0 && stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
                char buf[256];
                const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
                if (n <= 0) {
                    stdinOpen = false; // no operator: keep serving
                } else {
                    line.append(buf, static_cast<std::size_t>(n));
                    for (std::size_t nl; (nl = line.find('\n')) != std::string::npos;) {
                        command(line.substr(0, nl));
                        line.erase(0, nl + 1);
                    }
                }
            }
            serveFrames();
        }
        closeLine();
        return 0;
    }

  private:
    double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
    std::int64_t nowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    }

    void closeLine() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
        master_ = slave_ = -1;
        if (linked_) ::unlink(options_.link.c_str());
        linked_ = false;
    }

    void readLine() {
        std::uint8_t buf[512];
        for (;;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            reader_.feed(buf, static_cast<std::size_t>(n), nowMs());
            lastArrival_ = Clock::now();
        }
    }

    void serveFrames() {
        while (auto frame = reader_.next(nowMs())) {
            const std::uint8_t code = (*frame)[3];
            // The command itself takes its time on a real line before the detector can answer.
            const auto answerAt =
                lastArrival_ +
                (options_.pacing ? Clock::duration(ByteTime * static_cast<long>(frame->size())) : Clock::duration{});
            if (code == protocol::frames::Settings && frame->size() == 46) {
                ++settingsFrames_;
                if (!model_.ApplySettings(frame->data() + 4))
                    std::fprintf(stderr, "flash: %s\n", model_.flashError().c_str());
                continue;
            }
            if (frame->size() != 6) continue; // a poll carries its code alone
            const auto payload = model_.Answer(code, seconds());
            if (!payload) continue; // a code the detector does not answer
            reply(code, *payload, answerAt);
            if (master_ < 0) return;
        }
    }

    void reply(std::uint8_t code, const std::vector<std::uint8_t>& payload, Clock::time_point answerAt) {
        Faults& f = options_.faults;
        ++replies_;
        if (Clock::now() < f.silentUntil) return;
        if (f.silentAfter >= 0 && replies_ > f.silentAfter) {
            f.silentUntil =
                f.silentForMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(f.silentForMs);
            f.silentAfter = -1;
            return;
        }
        if (const auto bytes = options_.writer.Write(replies_, code, payload)) send(*bytes, answerAt);
        if (f.hangupAfter >= 0 && replies_ >= f.hangupAfter) hangUp();
    }

    // Paced, a byte reaches the program once its ten bits have crossed the line, a byte time after it
    // began (all those due by now go together); dribbling, one by one with the pause between them.
    void send(const std::vector<std::uint8_t>& bytes, Clock::time_point at) {
        const bool dribble = options_.faults.dribbleMs > 0;
        const bool paced = options_.pacing || dribble;
        const Clock::duration step =
            dribble ? Clock::duration(std::chrono::milliseconds(options_.faults.dribbleMs)) : Clock::duration(ByteTime);
        at = dribble ? Clock::now() : at + ByteTime;
        std::size_t sent = 0;
        while (sent < bytes.size() && master_ >= 0 && !stopRequested) {
            std::size_t due = bytes.size();
            if (paced) {
                const auto now = Clock::now();
                due =
                    now < at ? 0 : std::min<std::size_t>(bytes.size(), static_cast<std::size_t>((now - at) / step) + 1);
                if (due <= sent) {
                    std::this_thread::sleep_until(at + step * static_cast<long>(sent));
                    continue;
                }
            }
            const ssize_t n = ::write(master_, bytes.data() + sent, due - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{master_, POLLOUT, 0};
                if (::poll(&p, 1, 1000) == 0) return; // nobody reads: the reply is given up
            } else if (n < 0 && errno != EINTR) {
                return;
            }
        }
    }

    void hangUp() {
        std::printf("hung up\n");
        std::fflush(stdout);
        closeLine();
        unplugged_ = false; // for good
    }

    // As when the USB adapter is pulled: the port and its link are gone until plugIn().
    void unplug(long ms) {
        if (!unplugged_) {
            closeLine();
            reader_.clear();
            unplugged_ = true;
            std::printf("unplugged\n");
            std::fflush(stdout);
        }
        plugInAt_ = Clock::now() + std::chrono::milliseconds(ms);
    }

    // A new pseudo-terminal, at the same link.
    bool plugIn() {
        unplugged_ = false;
        std::string error;
        if (!openLine(error)) {
            std::fprintf(stderr, "ostrevo-detector-sim: %s\n", error.c_str());
            closeLine();
            return false;
        }
        std::printf("plugged in %s\n", path_.c_str());
        std::fflush(stdout);
        return true;
    }

    void command(const std::string& text) {
        std::istringstream in(text);
        std::string word, arg;
        in >> word;
        if (word.empty()) return;
        long n = 0;
        const bool hasNumber = static_cast<bool>(in >> n);
        in.clear();
        Faults& f = options_.faults;
        ReplyWriter& writer = options_.writer;
        auto onOff = [&](bool& flag) {
            std::istringstream again(text);
            std::string w, state;
            again >> w >> state;
            if (state != "on" && state != "off") return false;
            flag = state == "on";
            return true;
        };
        bool ok = true;
        auto& c = model_.conditions;
        if (word == "silent" && hasNumber) {
            f.silentUntil = Clock::now() + std::chrono::milliseconds(n);
        } else if (word == "silent-after" && hasNumber) {
            f.silentAfter = replies_ + n;
            long ms = -1;
            f.silentForMs = (in >> ms) ? ms : -1;
        } else if (word == "drop" && hasNumber) {
            writer.dropEvery = n;
        } else if (word == "corrupt" && hasNumber) {
            writer.corruptEvery = n;
        } else if (word == "corrupt-next" && hasNumber && n >= 0 && n <= 255 &&
                   DetectorModel::Answers(static_cast<std::uint8_t>(n))) {
            writer.CorruptNext(static_cast<std::uint8_t>(n));
        } else if (word == "surplus" && hasNumber) {
            writer.surplusOnce = n;
        } else if (word == "dribble" && hasNumber) {
            f.dribbleMs = n;
        } else if (word == "lengthen" && hasNumber && n >= 0) {
            writer.lengthen = n;
        } else if (word == "stall" && hasNumber && n >= 0 && slave_ >= 0) {
            // The program's side of the line stops taking bytes, as a port whose output was stopped.
            ok = ::tcflow(slave_, TCOOFF) == 0;
            f.stalled = ok;
            f.stalledUntil = Clock::now() + std::chrono::milliseconds(n);
        } else if (word == "hangup") {
            std::printf("ok %s\n", text.c_str());
            std::fflush(stdout);
            hangUp();
            return;
        } else if (word == "unplug" && hasNumber && n >= 0) {
            if (options_.link.empty()) {
                std::printf("unknown command: %s (unplug needs --link)\n", text.c_str());
                std::fflush(stdout);
                return;
            }
            std::printf("ok %s\n", text.c_str());
            std::fflush(stdout);
            unplug(n);
            return;
        } else if (word == "intruder") {
            // A percentage of the full signals: a walk farther away (100 by default).
            model_.TriggerIntruder(seconds(), hasNumber ? std::clamp(static_cast<double>(n), 1.0, 200.0) / 100 : 1.0);
        } else if (word == "intruder-every" && hasNumber) {
            model_.intruderPeriod = static_cast<double>(n);
        } else if (word == "periodic-walk") {
            ok = onOff(model_.periodicWalk);
        } else if (word == "mask1") {
            ok = onOff(c.mask1);
        } else if (word == "mask2") {
            ok = onOff(c.mask2);
        } else if (word == "noise1") {
            ok = onOff(c.irNoise1);
        } else if (word == "noise2") {
            ok = onOff(c.irNoise2);
        } else if (word == "tamper") {
            ok = onOff(c.tamper);
        } else if (word == "lowvoltage") {
            ok = onOff(c.lowVoltage);
        } else if (word == "nr1") {
            ok = onOff(c.noiseReduction1);
        } else if (word == "nr2") {
            ok = onOff(c.noiseReduction2);
        } else if (word == "nr-bits") {
            std::istringstream again(text);
            std::string w, how;
            again >> w >> how;
            ok = how == "keep" || how == "take";
            if (ok) model_.takesNoiseReductionBits = how == "take";
        } else if (word == "autotest") {
            ok = onOff(c.autoTest);
        } else if (word == "pacing") {
            ok = onOff(options_.pacing);
        } else if (word == "fault") {
            std::istringstream again(text);
            std::string w, which, state;
            again >> w >> which >> state;
            bool* flag = which == "mw"           ? &c.mwFault
                         : which == "pir1"       ? &c.pir1Fault
                         : which == "pir2"       ? &c.pir2Fault
                         : which == "cpu"        ? &c.cpuFault
                         : which == "lis302"     ? &c.lis302Fault
                         : which == "lowvoltage" ? &c.lowVoltage
                                                 : nullptr;
            ok = flag && (state == "on" || state == "off");
            if (ok) *flag = state == "on";
        } else if (word == "status") {
            std::printf("replies %ld, settings frames %ld, bytes discarded %zu\n", replies_, settingsFrames_,
                        reader_.discarded());
        } else if (word == "help") {
            std::fputs(Help, stdout);
        } else if (word == "quit") {
            stopRequested = 1;
        } else {
            ok = false;
        }
        std::printf(ok ? "ok %s\n" : "unknown command: %s\n", text.c_str());
        std::fflush(stdout);
    }

    Options options_;
    DetectorModel model_;
    CommandReader reader_;
    Clock::time_point start_;
    Clock::time_point lastArrival_{};
    std::string path_;
    int master_ = -1;
    int slave_ = -1;
    bool linked_ = false;
    bool unplugged_ = false;
    Clock::time_point plugInAt_{};
    long replies_ = 0;
    long settingsFrames_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArgs(argc, argv, options)) {
        std::fputs(Usage, stderr);
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Its bytes leave on time: the kernel would let each paced sleep run up to 50 us late.
    ::prctl(PR_SET_TIMERSLACK, 1UL);

    Simulator sim(options);
    std::string error;
    if (!sim.openLine(error)) {
        std::fprintf(stderr, "ostrevo-detector-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.path().c_str());
    std::fflush(stdout);
    return sim.run();
}
