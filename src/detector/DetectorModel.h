// The virtual detector: its stored parameters (clamped as the program's controls range them, kept
// in a flash file) and a small world of noise, a passing intruder, temperature drift, mask, tamper
// and faults, from which the status record and the event memory are made. Its event memory starts
// with a few older events, as that of a detector that has been on duty for a while.
#pragma once

#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace detector {

class DetectorModel {
  public:
    // A detector fresh from the box, or one that has been on duty for a while and remembers it.
    enum class EventMemory { Seeded, Empty };

    // Without a flash file the detector starts from its factory values.
    explicit DetectorModel(std::string flashPath = {}, unsigned seed = 1, EventMemory memory = EventMemory::Seeded);

    static protocol::params::Parameters FactoryDefaults();
    // The four reserved bytes of the block are the detector's own: the program sends zeros there
    // and reads these back.
    static constexpr std::array<std::uint8_t, 4> OwnReserved{0x01, 0x04, 0x00, 0x2A};
    // The older events a detector on duty remembers (entry 0 newest), always the same.
    static protocol::EventLog SeededEvents();
    // Every field pulled into the range the program's controls give it.
    static protocol::params::Parameters Clamp(protocol::params::Parameters p);

    const protocol::params::Parameters& parameters() const { return params_; }
    // The block of a settings frame (PWM high byte first): clamped and stored; with the store
    // request written to flash as well. Returns false when the flash could not be written.
    bool ApplySettings(const std::uint8_t* block40);
    // The block of reply 9 (PWM low byte first).
    protocol::params::Block ReadBackBlock() const;
    // The payload of reply 7: PWM duty then PWM frequency, each low byte first.
    std::array<std::uint8_t, 4> PwmValues() const;
    const std::string& flashError() const { return flashError_; }

    // Conditions an operator raises by hand.
    struct Conditions {
        bool mask1 = false, mask2 = false, irNoise1 = false, irNoise2 = false, tamper = false;
        bool lowVoltage = false, mwFault = false, pir1Fault = false, pir2Fault = false, cpuFault = false;
        bool lis302Fault = false, autoTest = false;
        // The infrared noise reduction forced on, whatever the settings and the noise say.
        bool noiseReduction1 = false, noiseReduction2 = false;
    } conditions;
    // Under temperature compensation the detector switches its PIR noise reduction by itself, with the
    // infrared noise, and keeps its own noise-reduction parameter bits whatever a settings frame says.
    // Set, it takes them from the frame (a detector that takes the program's echo of its switch).
    bool takesNoiseReductionBits = false;
    // Seconds between two passes of the intruder (0: none pass by themselves).
    double intruderPeriod = 8.0;
    // Whether the intruder walks past by itself every intruderPeriod seconds: cleared, the field stays
    // quiet (for a quiet stretch of a walk test) and only TriggerIntruder() sends it past.
    bool periodicWalk = true;
    // An intruder walks past now; strength 1 gives the full signals, less a walk farther away.
    void TriggerIntruder(double nowSeconds, double strength = 1.0);

    // Moves the world on to the given time and takes the readings.
    void Advance(double nowSeconds);
    const protocol::StatusRecord& Status() const { return status_; }
    const protocol::EventLog& Events() const { return events_; }

    // Whether the detector answers a poll with this code (7, 8, 9 and 12).
    static bool Answers(std::uint8_t code);
    // The payload of the reply to a poll at the given time (status and event memory are taken
    // then), or nothing for a code the detector does not answer.
    std::optional<std::vector<std::uint8_t>> Answer(std::uint8_t code, double nowSeconds);

  private:
    bool storeToFlash();
    double noise(double spread);
    void recordEvents(double now);

    std::string flashPath_;
    std::string flashError_;
    protocol::params::Parameters params_;
    std::mt19937 random_;
    protocol::StatusRecord status_;
    protocol::EventLog events_{};
    double lastIntruder_ = -1e9;
    double intruderStrength_ = 1.0;
    std::array<double, 3> lastDetection_{-1e9, -1e9, -1e9};
    std::array<double, 3> outputUntil_{-1e9, -1e9, -1e9};
    bool eventOpen_ = false;
    double lastEventActivity_ = -1e9;
};

} // namespace detector

// The virtual detector's program, its tests and the benchmarks call it by its own name.
using detector::DetectorModel;
