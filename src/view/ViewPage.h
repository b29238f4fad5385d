// The "VIEW" tab: the five group boxes and every control the detector's settings and live values use.
#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QWidget;
namespace widgets {
class GaugeBar;
class Lamp;
class LevelBar;
class RadioGroup;
class SmallStatusBar;
class TrackBar;
} // namespace widgets

namespace view {

// The controls of one detection channel (MW, PIR1 "HIGH ABOVE", PIR2 "DOWN UNDER").
struct ChannelControls {
    QGroupBox* group = nullptr;
    widgets::Lamp* detection = nullptr;     // Shape_Mw, Shape_Pir1, Shape_Pir2
    widgets::TrackBar* threshold = nullptr; // TrackBar_*_TRange
    widgets::LevelBar* signal = nullptr;    // ProgressBar1, 2, 3
    widgets::GaugeBar* tconv = nullptr;
    widgets::GaugeBar* nconv = nullptr;
    widgets::GaugeBar* npulse = nullptr;
    QLabel* tconvLabel = nullptr;
    QLabel* nconvLabel = nullptr;
    QLabel* npulseLabel = nullptr;
    QLabel* trangeLabel = nullptr; // Label_*_TRange, hosted by the small status bar
    widgets::SmallStatusBar* statusBar = nullptr;
    // Hidden number labels: compensation, level, signal, mask.
    QLabel* compLabel = nullptr;
    QLabel* levelLabel = nullptr;
    QLabel* signalLabel = nullptr;
    QLabel* maskLabel = nullptr;
    QLabel* noiseLabel = nullptr;
    // PIR channels only.
    QComboBox* lens = nullptr;
    widgets::Lamp* maskLamp = nullptr;     // Shape_Acc1, Shape_Acc2
    widgets::Lamp* noiseLamp = nullptr;    // Shape_Acc1Noise, Shape_Acc2Noise
    widgets::LevelBar* maskBar = nullptr;  // ProgressBar_Acc1, ProgressBar_Acc2
    widgets::LevelBar* noiseBar = nullptr; // ProgressBar_Acc1Noise, ProgressBar_Acc2Noise
};

// The controls of one relay output in the SETUP box.
struct OutputControls {
    QGroupBox* group = nullptr;
    QCheckBox* enable = nullptr;
    widgets::RadioGroup* function = nullptr;
    QCheckBox* mw = nullptr;
    QCheckBox* pirHigh = nullptr;
    QCheckBox* pirDown = nullptr;
    widgets::RadioGroup* ncNo = nullptr;
    widgets::Lamp* state = nullptr;
    widgets::GaugeBar* timeAnd = nullptr;
    QLabel* timeAndLabel = nullptr;
};

// The compact lamps beside the tabs that keep every alarm in sight.
enum AlarmSummaryLamp {
    SummaryOut1,
    SummaryOut2,
    SummaryOut3,
    SummaryTamper,
    SummaryMask1,
    SummaryMask2,
    SummaryFault
};
constexpr int AlarmSummaryLamps = 7;

struct ViewControls {
    ChannelControls mw, pir1, pir2;
    std::array<OutputControls, 3> outputs;

    // MW hidden groups.
    widgets::GaugeBar* pwmDuty = nullptr;      // ScrollBar_PWM_Dc
    widgets::GaugeBar* pwmFrequency = nullptr; // ScrollBar_PWM_Fq
    QLabel* pwmDutyLabel = nullptr;
    QLabel* pwmFrequencyLabel = nullptr;
    widgets::LevelBar* mwMaskBar = nullptr; // ProgressBar_Mask

    // "Enable/Disable" and "Noise Reduction".
    QCheckBox *enMw = nullptr, *enPir1 = nullptr, *enPir2 = nullptr, *enMask = nullptr, *enAcc = nullptr,
              *enTamper = nullptr, *enLed = nullptr, *enTempComp = nullptr, *autoTest = nullptr;
    QCheckBox *noiseMw = nullptr, *noisePir1 = nullptr, *noisePir2 = nullptr;

    // "Tamper" and "Auto Test 24h".
    widgets::Lamp* tamper = nullptr;
    std::array<QLabel*, 3> accLabels{};
    std::array<widgets::LevelBar*, 3> accBars{};
    widgets::Lamp* diagnosticOn = nullptr;
    widgets::Lamp *ledPowerFail = nullptr, *ledMwFault = nullptr, *ledPir1Fault = nullptr, *ledPir2Fault = nullptr,
                  *ledCpuFault = nullptr;

    // "NTC".
    widgets::LevelBar* temperature = nullptr; // ProgressBar_Temperatura
    QLabel* temperatureLabel = nullptr;
    QLabel* ntcLabel = nullptr;
    widgets::SmallStatusBar* ntcStatusBar = nullptr;

    // The alarm summary (none until BuildAlarmSummary made it).
    std::array<widgets::Lamp*, AlarmSummaryLamps> summary{};
};

// Builds the VIEW tab's content into page and fills in the control pointers.
void BuildViewPage(QWidget* page, ViewControls& c);
// Builds the alarm summary (outputs, tamper, masks, any fault) and fills in its lamps.
QWidget* BuildAlarmSummary(QWidget* parent, ViewControls& c);

} // namespace view
