// Writes the program's alarm sound SIREN1.WAV: a two-tone siren, 16-bit PCM mono, built at build time.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t SampleRate = 22050;
constexpr double ToneSeconds = 0.3;               // each tone, high and low in turn
constexpr int Tones = 10;                         // 3 s in all
constexpr double Frequencies[2] = {650.0, 900.0}; // Hz
constexpr double FadeSeconds = 0.006;             // raised-cosine edges: no click at the changes
constexpr double Amplitude = 0.7 * 32767.0;

void put16(std::vector<char>& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::vector<char>& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

void putTag(std::vector<char>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

std::vector<std::int16_t> sirenSamples() {
    const auto toneSamples = static_cast<int>(std::lround(ToneSeconds * SampleRate));
    const auto fadeSamples = static_cast<int>(std::lround(FadeSeconds * SampleRate));
    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(toneSamples) * Tones);
    double phase = 0.0;
    for (int tone = 0; tone < Tones; ++tone) {
        const double step = 2.0 * std::numbers::pi * Frequencies[tone % 2] / SampleRate;
        for (int i = 0; i < toneSamples; ++i) {
            const int edge = std::min(i, toneSamples - 1 - i);
            const double gain = edge >= fadeSamples ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fadeSamples);
            samples.push_back(static_cast<std::int16_t>(std::lround(Amplitude * gain * std::sin(phase))));
            phase = std::fmod(phase + step, 2.0 * std::numbers::pi);
        }
    }
    return samples;
}

std::vector<char> wavFile(const std::vector<std::int16_t>& samples) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<char> out;
    out.reserve(44 + dataBytes);
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);             // chunk size
    put16(out, 1);              // PCM
    put16(out, 1);              // mono
    put32(out, SampleRate);     // frames per second
    put32(out, SampleRate * 2); // bytes per second
    put16(out, 2);              // bytes per frame
    put16(out, 16);             // bits per sample
    putTag(out, "data");
    put32(out, dataBytes);
    for (std::int16_t s : samples) put16(out, static_cast<std::uint16_t>(s));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.WAV\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const std::string partial = path + ".part";
    const std::vector<char> wav = wavFile(sirenSamples());
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(wav.data(), static_cast<std::streamsize>(wav.size()));
        if (!file.flush()) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], partial.c_str());
            return 1;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::perror(path.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
