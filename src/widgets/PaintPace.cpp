#include "widgets/PaintPace.h"

#include <QCoreApplication>
#include <QLabel>
#include <algorithm>

namespace widgets {

PaintPace& PaintPace::Instance() {
    // Made with the application and gone with it: its timer never outlives the event loop.
    static QPointer<PaintPace> pace;
    if (!pace) pace = new PaintPace(QCoreApplication::instance());
    return *pace;
}

PaintPace::PaintPace(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintPace::release);
}

void PaintPace::Later(QWidget* widget, const QRegion& region) {
    if (region.isEmpty() || !widget->isVisible()) return; // (a widget coming into sight is painted whole)
    const auto same = std::find_if(held_.begin(), held_.end(), [widget](const auto& h) { return h.first == widget; });
    if (same != held_.end()) same->second |= region;
    else held_.emplace_back(widget, region);
    if (timer_.isActive()) return;
    const qint64 since = lastRelease_.isValid() ? lastRelease_.elapsed() : qint64(IntervalMs);
    if (since >= IntervalMs) release();
    else timer_.start(static_cast<int>(IntervalMs - since));
}

void PaintPace::Now() {
    // After the handler that asked (a status reply), so that all it changes goes with it.
    now_ = true;
    timer_.start(0);
}

void PaintPace::release() {
    timer_.stop();
    now_ = false;
    std::vector<std::pair<QPointer<QWidget>, QRegion>> held;
    held.swap(held_);
    for (const auto& [widget, region] : held)
        if (widget) widget->update(region);
    lastRelease_.start();
}

void SetTextPaced(QLabel* label, const QString& text) {
    if (label->text() == text) return;
    if (!label->isVisible()) {
        label->setText(text);
        return;
    }
    // The label would paint its new text with the window's next paint; it waits for the pace instead.
    const bool held = label->testAttribute(Qt::WA_UpdatesDisabled);
    label->setAttribute(Qt::WA_UpdatesDisabled, true);
    label->setText(text);
    label->setAttribute(Qt::WA_UpdatesDisabled, held);
    PaintPace::Instance().Later(label, label->contentsRect());
}

} // namespace widgets

#include "moc_PaintPace.cpp"
