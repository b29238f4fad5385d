// The "VIEW" tab: the five group boxes and every control the detector's settings and live values use.
#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QWidget;
class GaugeBar;
class Lamp;
class LevelBar;
class RadioGroup;
class SmallStatusBar;
class TrackBar;

// The controls of one detection channel (MW, PIR1 "HIGH ABOVE", PIR2 "DOWN UNDER").
struct ChannelControls {
    QGroupBox* group = nullptr;
    Lamp* detection = nullptr;     // Shape_Mw, Shape_Pir1, Shape_Pir2
    TrackBar* threshold = nullptr; // TrackBar_*_TRange
    LevelBar* signal = nullptr;    // ProgressBar1, 2, 3
    GaugeBar* tconv = nullptr;
    GaugeBar* nconv = nullptr;
    GaugeBar* npulse = nullptr;
    QLabel* tconvLabel = nullptr;
    QLabel* nconvLabel = nullptr;
    QLabel* npulseLabel = nullptr;
    QLabel* trangeLabel = nullptr; // Label_*_TRange, hosted by the small status bar
    SmallStatusBar* statusBar = nullptr;
    // Hidden number labels: compensation, level, signal, mask.
    QLabel* compLabel = nullptr;
    QLabel* levelLabel = nullptr;
    QLabel* signalLabel = nullptr;
    QLabel* maskLabel = nullptr;
    QLabel* noiseLabel = nullptr;
    // PIR channels only.
    QComboBox* lens = nullptr;
    Lamp* maskLamp = nullptr;     // Shape_Acc1, Shape_Acc2
    Lamp* noiseLamp = nullptr;    // Shape_Acc1Noise, Shape_Acc2Noise
    LevelBar* maskBar = nullptr;  // ProgressBar_Acc1, ProgressBar_Acc2
    LevelBar* noiseBar = nullptr; // ProgressBar_Acc1Noise, ProgressBar_Acc2Noise
};

// The controls of one relay output in the SETUP box.
struct OutputControls {
    QGroupBox* group = nullptr;
    QCheckBox* enable = nullptr;
    RadioGroup* function = nullptr;
    QCheckBox* mw = nullptr;
    QCheckBox* pirHigh = nullptr;
    QCheckBox* pirDown = nullptr;
    RadioGroup* ncNo = nullptr;
    Lamp* state = nullptr;
    GaugeBar* timeAnd = nullptr;
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
    GaugeBar* pwmDuty = nullptr;      // ScrollBar_PWM_Dc
    GaugeBar* pwmFrequency = nullptr; // ScrollBar_PWM_Fq
    QLabel* pwmDutyLabel = nullptr;
    QLabel* pwmFrequencyLabel = nullptr;
    LevelBar* mwMaskBar = nullptr; // ProgressBar_Mask

    // "Enable/Disable" and "Noise Reduction".
    QCheckBox *enMw = nullptr, *enPir1 = nullptr, *enPir2 = nullptr, *enMask = nullptr, *enAcc = nullptr,
              *enTamper = nullptr, *enLed = nullptr, *enTempComp = nullptr, *autoTest = nullptr;
    QCheckBox *noiseMw = nullptr, *noisePir1 = nullptr, *noisePir2 = nullptr;

    // "Tamper" and "Auto Test 24h".
    Lamp* tamper = nullptr;
    std::array<QLabel*, 3> accLabels{};
    std::array<LevelBar*, 3> accBars{};
    Lamp* diagnosticOn = nullptr;
    Lamp *ledPowerFail = nullptr, *ledMwFault = nullptr, *ledPir1Fault = nullptr, *ledPir2Fault = nullptr,
         *ledCpuFault = nullptr;

    // "NTC".
    LevelBar* temperature = nullptr; // ProgressBar_Temperatura
    QLabel* temperatureLabel = nullptr;
    QLabel* ntcLabel = nullptr;
    SmallStatusBar* ntcStatusBar = nullptr;

    // The alarm summary (none until BuildAlarmSummary made it).
    std::array<Lamp*, AlarmSummaryLamps> summary{};
};

// Builds the VIEW tab's content into page and fills in the control pointers.
void BuildViewPage(QWidget* page, ViewControls& c);
// Builds the alarm summary (outputs, tamper, masks, any fault) and fills in its lamps.
QWidget* BuildAlarmSummary(QWidget* parent, ViewControls& c);
