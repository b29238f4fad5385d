// The virtual detector inside the program's own process, on a line of its own: the detector's model answers
// the program's frames with the line's real timing (19200 baud, ten bits a byte), behind a SerialPort that
// stands in for a real one. For the demo on Windows, where no second program plays the detector on a
// pseudo-terminal.
#pragma once

#include "detector/CommandReader.h"
#include "detector/DetectorModel.h"
#include "protocol/SerialPort.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace detector {

class VirtualLine {
  public:
    using Clock = std::chrono::steady_clock;
    // One byte at 19200 baud with 8N1: ten bits.
    static constexpr auto ByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 19200);

    explicit VirtualLine(unsigned seed = 1);

    // One of the virtual detector's commands, as ostrevo-detector-sim takes them (those the Demo menu sends):
    // intruder [PERCENT] | periodic-walk|tamper|mask1|mask2|noise1|noise2|lowvoltage|nr1|nr2|autotest on|off |
    // fault mw|pir1|pir2|cpu|lis302|lowvoltage on|off | silent MS | unplug MS.
    // Returns "ok <command>", or "unknown command: <command>".
    std::string Command(const std::string& text);
    DetectorModel& model() { return model_; }

    // The adapter is plugged in (not pulled out by an unplug). Unplugs() counts the pulls, so that a port
    // opened before one knows it is dead, as a real one is once its adapter has gone.
    bool PluggedIn() const { return Clock::now() >= unpluggedUntil_; }
    unsigned Unplugs() const { return unplugs_; }

    // The program's bytes go out now, after those still on their way; the detector answers each frame as
    // its last byte arrives, and its answer comes back byte by byte.
    void Transmit(const std::uint8_t* bytes, int count);
    // When the last byte sent will have left the program's side of the line.
    Clock::time_point TransmitDone() const { return lineFree_; }
    // The bytes for the program that have arrived by now, and when the count-th byte from now will have
    // (the last one on its way when fewer are; never when none is).
    int Arrived() const;
    Clock::time_point ArrivalOf(int count) const;
    // Takes up to capacity of the bytes that have arrived.
    int Take(std::uint8_t* into, int capacity);
    // Throws away the bytes that have arrived (those still on the line come all the same).
    int DropArrived();

  private:
    double seconds(Clock::time_point at) const { return std::chrono::duration<double>(at - start_).count(); }
    void answer(std::uint8_t code, Clock::time_point at);

    DetectorModel model_;
    CommandReader reader_;
    Clock::time_point start_;
    Clock::time_point lineFree_{};  // the program's transmitter
    Clock::time_point replyFree_{}; // the detector's transmitter
    Clock::time_point silentUntil_{};
    Clock::time_point unpluggedUntil_{};
    unsigned unplugs_ = 0;
    std::deque<std::pair<Clock::time_point, std::uint8_t>> toProgram_;
};

// A port that opens the virtual line under its own name and any other name as the platform's port does.
class VirtualSerialPort : public protocol::SerialPort {
  public:
    VirtualSerialPort(std::shared_ptr<VirtualLine> line, std::string name);
    ~VirtualSerialPort() override;

    void OpenPort(const std::string& name) override;
    void SetInputQueueSize(int bytes) override;
    void ApplyLineSettings() override;
    int ResyncInput(int quietMs, int limitMs) override;
    int PendingOutput() override;
    using SerialPort::FlushOutput;
    bool FlushOutput(int limitMs) override;
    void PurgePort() override;
    void ClosePort() override;
    bool DevicePresent(const std::string& name) override;

  protected:
    int send(const std::uint8_t* buffer, int count, int limitMs) override;
    int receive(std::uint8_t* buffer, int count, int timeoutMs, int limitMs) override;

  private:
    // The virtual line is open, and has not been unplugged since.
    bool lineAlive() const;

    std::shared_ptr<VirtualLine> line_;
    std::string name_;
    bool onLine_ = false;  // open on the virtual line (else, when open, on the platform's port)
    unsigned unplugs_ = 0; // the line's unplugs when it was opened
};

} // namespace detector
