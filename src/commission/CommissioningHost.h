// What the installer's end-of-job commands use of the main window: the link, the parts that show a
// status reply, the graph, the status bar's notice, the tab shown, the way parameters are offered to
// the detector and the Connect / Disconnect command. The main
// window implements it, so that the commands know no more of the window than this.
#pragma once

#include <QString>
#include <functional>

namespace seriallink {
class PollCycle;
} // namespace seriallink
namespace view {
struct ViewControls;
} // namespace view
namespace config {
class ConfigFiles;
class ParameterSender;
} // namespace config
namespace graph {
class GraphWindow;
} // namespace graph
namespace monitor {
class Indicators;
class LiveMarks;
class StatusView;
} // namespace monitor

namespace commission {

class CommissioningHost {
  public:
    virtual seriallink::PollCycle& link() = 0;
    virtual view::ViewControls& view() = 0;
    virtual config::ParameterSender& parameterSender() = 0;
    virtual monitor::StatusView& statusView() = 0;
    virtual monitor::Indicators& indicators() = 0;
    virtual monitor::LiveMarks& liveMarks() = 0;
    // Open Config's question and send path, for a parameter set made here (suggested thresholds).
    virtual config::ConfigFiles& configFiles() = 0;
    // The tab shown: 0 VIEW, 1 LOGS.
    virtual int CurrentTab() = 0;
    // The graph window; null when there is none.
    virtual graph::GraphWindow* graphics() const = 0;
    // The port the link is open on (or lost from), else the one chosen in the port dialog.
    virtual QString PortName() const = 0;
    // That port's adapter as the port dialog names it ("FT232R USB UART, 0403:6001"); empty when unknown.
    virtual QString PortAdapter() const { return QString(); }
    // A short notice in the status bar, for what the user should know but need not answer.
    virtual void ShowNotice(const QString& text) = 0;
    // A running count in the same place (a recording's clock); key says what it counts: the message
    // history keeps the latest of a run of the same count.
    virtual void ShowRunningCount(const QString& text, const QString& key) {
        Q_UNUSED(key);
        ShowNotice(text);
    }
    // As the user's Disconnect, which asks first when changes are not stored; then runs once the link is
    // closed: at once, or after a store the user chose has been read back. Nothing when the user keeps it.
    virtual void disconnectThen(const std::function<void()>& then) = 0;
    // The program's version, for the installation report.
    virtual QString programVersion() const = 0;

  protected:
    ~CommissioningHost() = default;
};

} // namespace commission
