#include "detector/CommandReader.h"

#include "protocol/Frames.h"

namespace detector {

void CommandReader::feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs) {
    if (size == 0) return;
    buffer_.insert(buffer_.end(), data, data + size);
    lastByteMs_ = nowMs;
}

std::optional<std::vector<std::uint8_t>> CommandReader::next(std::int64_t nowMs) {
    auto drop = [this](std::size_t n) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
        discarded_ += n;
    };
    for (;;) {
        std::size_t start = 0;
        while (start < buffer_.size() && buffer_[start] != protocol::frames::STX) ++start;
        if (start) drop(start);
        if (buffer_.size() < 3) return std::nullopt;
        const std::size_t len = buffer_[2];
        if (buffer_[1] != 0x00 || len == 0) {
            drop(1);
            continue;
        }
        const std::size_t total = len + 5;
        if (buffer_.size() < total) {
            if (nowMs - lastByteMs_ >= StaleMs) {
                drop(1);
                continue;
            }
            return std::nullopt;
        }
        const bool good = buffer_[total - 1] == protocol::frames::ETX &&
                          protocol::frames::FrameChecksum(&buffer_[3], len) == buffer_[len + 3];
        if (!good) { // ignored, as a device would: look for the next STX
            drop(1);
            continue;
        }
        std::vector<std::uint8_t> frame(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
        return frame;
    }
}

} // namespace detector
