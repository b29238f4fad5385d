#include "detector/VirtualLine.h"

#include "detector/ReplyWriter.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <sstream>
#include <thread>

namespace detector {

namespace {

using Clock = VirtualLine::Clock;

std::int64_t msSinceEpoch(Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

VirtualLine::VirtualLine(unsigned seed) : model_({}, seed), start_(Clock::now()) {}

std::string VirtualLine::Command(const std::string& text) {
    std::istringstream in(text);
    std::string word, state;
    in >> word;
    long n = 0;
    const bool hasNumber = static_cast<bool>(in >> n);
    in.clear();
    auto& c = model_.conditions;
    auto onOff = [&](bool& flag) {
        std::istringstream again(text);
        again >> word >> state;
        if (state != "on" && state != "off") return false;
        flag = state == "on";
        return true;
    };
    bool ok = true;
    if (word == "intruder") {
        // A percentage of the full signals: a walk farther away (100 by default).
        model_.TriggerIntruder(seconds(Clock::now()),
                               hasNumber ? std::clamp(static_cast<double>(n), 1.0, 200.0) / 100 : 1.0);
    } else if (word == "silent" && hasNumber && n >= 0) {
        silentUntil_ = Clock::now() + std::chrono::milliseconds(n);
    } else if (word == "unplug" && hasNumber && n >= 0) {
        // As when the USB adapter is pulled: the port is gone until it comes back, and what was on the line
        // with it.
        unpluggedUntil_ = Clock::now() + std::chrono::milliseconds(n);
        ++unplugs_;
        toProgram_.clear();
        reader_.clear();
    } else if (word == "fault") {
        std::string which;
        std::istringstream again(text);
        again >> word >> which >> state;
        bool* flag = which == "mw"           ? &c.mwFault
                     : which == "pir1"       ? &c.pir1Fault
                     : which == "pir2"       ? &c.pir2Fault
                     : which == "cpu"        ? &c.cpuFault
                     : which == "lis302"     ? &c.lis302Fault
                     : which == "lowvoltage" ? &c.lowVoltage
                                             : nullptr;
        ok = flag && (state == "on" || state == "off");
        if (ok) *flag = state == "on";
    } else if (word == "periodic-walk") {
        ok = onOff(model_.periodicWalk);
    } else if (word == "tamper") {
        ok = onOff(c.tamper);
    } else if (word == "mask1") {
        ok = onOff(c.mask1);
    } else if (word == "mask2") {
        ok = onOff(c.mask2);
    } else if (word == "noise1") {
        ok = onOff(c.irNoise1);
    } else if (word == "noise2") {
        ok = onOff(c.irNoise2);
    } else if (word == "lowvoltage") {
        ok = onOff(c.lowVoltage);
    } else if (word == "nr1") {
        ok = onOff(c.noiseReduction1);
    } else if (word == "nr2") {
        ok = onOff(c.noiseReduction2);
    } else if (word == "autotest") {
        ok = onOff(c.autoTest);
    } else {
        ok = false;
    }
    return (ok ? "ok " : "unknown command: ") + text;
}

void VirtualLine::Transmit(const std::uint8_t* bytes, int count) {
    if (count <= 0) return;
    const auto now = Clock::now();
    // Each byte reaches the detector once its ten bits have crossed the line.
    lineFree_ = std::max(now, lineFree_);
    for (int i = 0; i < count; ++i) {
        lineFree_ += ByteTime;
        reader_.feed(bytes + i, 1, msSinceEpoch(lineFree_));
        while (auto frame = reader_.next(msSinceEpoch(lineFree_))) {
            const std::uint8_t code = (*frame)[3];
            if (code == protocol::frames::Settings && frame->size() == 46) {
                model_.ApplySettings(frame->data() + 4);
                continue;
            }
            if (frame->size() == 6) answer(code, lineFree_); // a poll carries its code alone
        }
    }
}

void VirtualLine::answer(std::uint8_t code, Clock::time_point at) {
    if (at < silentUntil_ || at < unpluggedUntil_) return;
    const auto payload = model_.Answer(code, seconds(at));
    if (!payload) return; // a code the detector does not answer
    // The answer begins as the request has ended, after any answer still going out.
    auto arrival = std::max(at, replyFree_);
    for (std::uint8_t byte : ReplyWriter::Frame(code, *payload)) {
        arrival += ByteTime;
        toProgram_.emplace_back(arrival, byte);
    }
    replyFree_ = arrival;
}

int VirtualLine::Arrived() const {
    const auto now = Clock::now();
    const auto firstLater =
        std::find_if(toProgram_.begin(), toProgram_.end(), [now](const auto& b) { return b.first > now; });
    return static_cast<int>(firstLater - toProgram_.begin());
}

Clock::time_point VirtualLine::ArrivalOf(int count) const {
    if (toProgram_.empty()) return Clock::time_point::max();
    if (count <= 0) return Clock::now();
    const std::size_t index = std::min(toProgram_.size(), static_cast<std::size_t>(count)) - 1;
    return toProgram_[index].first;
}

int VirtualLine::Take(std::uint8_t* into, int capacity) {
    const int n = std::min(Arrived(), capacity);
    for (int i = 0; i < n; ++i) {
        into[i] = toProgram_.front().second;
        toProgram_.pop_front();
    }
    return n;
}

int VirtualLine::DropArrived() {
    const int n = Arrived();
    toProgram_.erase(toProgram_.begin(), toProgram_.begin() + n);
    return n;
}

// ---- The port ----

VirtualSerialPort::VirtualSerialPort(std::shared_ptr<VirtualLine> line, std::string name)
    : line_(std::move(line)), name_(std::move(name)) {}

VirtualSerialPort::~VirtualSerialPort() {
    ClosePort();
}

bool VirtualSerialPort::lineAlive() const {
    return onLine_ && line_->PluggedIn() && line_->Unplugs() == unplugs_;
}

void VirtualSerialPort::OpenPort(const std::string& name) {
    if (name != name_) return SerialPort::OpenPort(name);
    if (PortOpen) {
        setError(protocol::ErrAlreadyInUse);
        return finish();
    }
    LineBuffer.clear();
    DevicePath = name;
    PortNumber = -1;
    if (!line_->PluggedIn()) {
        setError(NoSuchPortError());
        return finish();
    }
    setError(protocol::sOK);
    onLine_ = true;
    unplugs_ = line_->Unplugs();
    PortOpen = true;
    PurgePort();
}

void VirtualSerialPort::SetInputQueueSize(int bytes) {
    if (!onLine_) return SerialPort::SetInputQueueSize(bytes);
    InputQueueSize = bytes;
    Settings.xonLimit = Settings.xoffLimit = bytes / 4;
    ApplyLineSettings();
}

void VirtualSerialPort::ApplyLineSettings() {
    if (!onLine_) return SerialPort::ApplyLineSettings();
    // The detector's line runs at 19200 baud, 8N1, whatever is asked.
    setError(lineAlive() ? protocol::sOK : DeviceGoneError());
    finish();
}

int VirtualSerialPort::send(const std::uint8_t* buffer, int count, int limitMs) {
    if (!onLine_) return SerialPort::send(buffer, count, limitMs);
    if (!lineAlive()) {
        setError(DeviceGoneError());
        finish();
        return 0;
    }
    setError(protocol::sOK);
    line_->Transmit(buffer, count);
    return count;
}

int VirtualSerialPort::receive(std::uint8_t* buffer, int count, int timeoutMs, int limitMs) {
    if (!onLine_) return SerialPort::receive(buffer, count, timeoutMs, limitMs);
    setError(protocol::sOK);
    const auto start = Clock::now();
    const auto overall = start + std::chrono::milliseconds(std::max(0, timeoutMs));
    const auto limit = start + std::chrono::milliseconds(std::max(0, limitMs));
    std::uint8_t scratch[4096];
    int stored = 0;
    while (stored < count && ErrorCode == 0) {
        std::vector<std::uint8_t> held;
        const std::uint8_t* got = scratch;
        int gotCount = 0;
        if (!LineBuffer.empty()) {
            held.swap(LineBuffer);
            got = held.data();
            gotCount = static_cast<int>(held.size());
        } else if (!lineAlive()) {
            setError(DeviceGoneError());
            break;
        } else {
            int wait = InterPacketTimeout ? std::max(0, timeoutMs) : msLeft(overall);
            if (limitMs >= 0) wait = std::min(wait, msLeft(limit));
            const auto deadline = Clock::now() + std::chrono::milliseconds(wait);
            // Asleep until the bytes still wanted have come, or those on their way, or the deadline (a sleep
            // may end a little early: it is slept again).
            while (line_->Arrived() == 0 && Clock::now() < deadline && lineAlive())
                std::this_thread::sleep_until(std::min(line_->ArrivalOf(count - stored), deadline));
            if (!lineAlive()) {
                setError(DeviceGoneError());
                break;
            }
            gotCount = line_->Take(scratch, static_cast<int>(sizeof scratch));
            if (gotCount == 0) setError(protocol::ErrTimeout);
        }
        const int take = std::min(gotCount, count - stored);
        std::copy_n(got, take, buffer + stored);
        stored += take;
        if (take < gotCount) LineBuffer.assign(got + take, got + gotCount);
    }
    finish();
    return stored;
}

int VirtualSerialPort::ResyncInput(int quietMs, int limitMs) {
    if (!onLine_) return SerialPort::ResyncInput(quietMs, limitMs);
    int dropped = static_cast<int>(LineBuffer.size());
    LineBuffer.clear();
    const auto limit = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    for (;;) {
        dropped += line_->DropArrived();
        // More on its way within the quiet time: waited for and thrown away too, within the limit.
        const auto next = line_->ArrivalOf(1); // (none on its way: never)
        const auto quietEnd = Clock::now() + std::chrono::milliseconds(std::max(0, quietMs));
        if (!lineAlive() || next > quietEnd || next > limit) break;
        while (Clock::now() < next) std::this_thread::sleep_until(next);
    }
    return dropped;
}

int VirtualSerialPort::PendingOutput() {
    if (!onLine_) return SerialPort::PendingOutput();
    setError(protocol::sOK);
    const auto left = line_->TransmitDone() - Clock::now();
    return left > Clock::duration::zero()
               ? static_cast<int>((left + VirtualLine::ByteTime - std::chrono::nanoseconds(1)) / VirtualLine::ByteTime)
               : 0;
}

bool VirtualSerialPort::FlushOutput(int limitMs) {
    if (!onLine_) return SerialPort::FlushOutput(limitMs);
    setError(protocol::sOK);
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    const auto until = std::min(line_->TransmitDone(), deadline);
    while (Clock::now() < until) std::this_thread::sleep_until(until);
    if (Clock::now() < line_->TransmitDone()) setError(protocol::ErrTimeout);
    finish();
    return ErrorCode == 0;
}

void VirtualSerialPort::PurgePort() {
    if (!onLine_) return SerialPort::PurgePort();
    LineBuffer.clear();
    line_->DropArrived();
}

void VirtualSerialPort::ClosePort() {
    if (!onLine_) return SerialPort::ClosePort();
    PurgePort();
    onLine_ = false;
    PortOpen = false;
    PortNumber = -1;
    setError(protocol::sOK);
}

bool VirtualSerialPort::DevicePresent(const std::string& name) {
    return name == name_ ? line_->PluggedIn() : SerialPort::DevicePresent(name);
}

} // namespace detector
