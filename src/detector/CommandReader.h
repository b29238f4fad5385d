// The detector's side of the line: cuts command frames out of the byte stream, resynchronising
// on the next STX after garbage, a damaged frame or a frame that never completes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace detector {

class CommandReader {
  public:
    // Bytes as they arrive, with the time (ms) they arrived.
    void feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs);
    // The next well-formed command frame (STX, 0, LEN, CMD, data, CHK over CMD and data, ETX).
    std::optional<std::vector<std::uint8_t>> next(std::int64_t nowMs);
    // Forgets what arrived on a line that is gone (not counted as discarded).
    void clear() { buffer_.clear(); }
    // Bytes thrown away while resynchronising.
    std::size_t discarded() const { return discarded_; }
    // A frame not complete this long after its last byte is given up (a device's inter-byte time-out).
    static constexpr std::int64_t StaleMs = 100;

  private:
    std::vector<std::uint8_t> buffer_;
    std::int64_t lastByteMs_ = 0;
    std::size_t discarded_ = 0;
};

} // namespace detector

// The virtual detector's program, its tests and the benchmarks call it by its own name.
using detector::CommandReader;
