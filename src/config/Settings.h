// The settings controls of the VIEW tab: every change sends the whole parameter set to the detector
// (one settings frame, then a read-back), the PIR lens presets, and "Store To Flash".
#pragma once

#include "config/ParameterBlock.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class QAction;
class PollCycle;
struct ViewControls;

class Settings : public QObject {
    Q_OBJECT
  public:
    Settings(ViewControls& view, PollCycle& link, QObject* parent = nullptr);

    // Connects every settings control's change signal (which fires on changes made by code too)
    // to its handler, and the Store To Flash action to Action4Execute.
    void wire(QAction* storeToFlash);
    // Where the handlers say something that needs no answer (the status bar).
    void setNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }

    // Rebuilds the whole settings frame from the controls and the output bytes of the detector's
    // parameters, and marks it pending.
    void BuildSettingsFrame();
    // Bits that the next build adds to ParameterFlags (StoreRequest after "Store To Flash").
    std::uint16_t FlagAccumulator = 0;
    // A store request that has not gone out yet: every rebuilt frame carries it until one has.
    bool StoreRequestPending() const { return storePending_; }

    // Handlers. A change handler does nothing while the link is closed or the detector's
    // parameters are not known yet; otherwise it makes its own edit of the parameters (if any),
    // builds the frame and arms the read-back.
    void SettingChange(); // enable and noise boxes, track bars, gauges, functions
    void OutputFlagClick(int output, std::uint8_t mask, bool set); // Enable, MW, PIR HIGH, PIR DOWN, NC/NO
    void ScrollBar_TimeAndChange(int output);
    void ComboBox_Pir1_LensChange();
    void ComboBox_Pir2_LensChange();
    void Action4Execute();

  private:
    bool mayChange() const;
    void requestReadBack();
    void applyLens(int pir);
    params::Parameters fromControls() const;

    ViewControls& view_;
    PollCycle& link_;
    QAction* storeToFlash_ = nullptr;
    bool storePending_ = false;
    std::function<void(const QString&)> notice_;
};

// The offsets of one relay output's bytes in the 44-byte parameter record.
constexpr int OutputRecordOffset(int output) {
    return 28 + 5 * output;
}
