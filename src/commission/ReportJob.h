// The installation report written off the window's thread: the walk test's recording read whole for its
// passes, quiet stretches, pauses and events (never whole in memory: a summary, the first of each kind in
// full), a graph of each pass drawn by the review view's painter, and the PDF printed. The window shows
// its progress and can cancel it; the report's file is replaced only once the new one is complete.
#pragma once

#include "commission/Report.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>

namespace commission {

class ReportJob : public QObject {
    Q_OBJECT
  public:
    explicit ReportJob(QObject* parent = nullptr);
    // A job under way is cancelled, and waited for.
    ~ReportJob() override;

    // Starts writing r to path. recording: the walk test's file, read for the walk, its events and the
    // pass graphs (empty: r is written as it is). fromRecording reports take the parameters the
    // recording names.
    void Start(const ReportContents& r, const QString& path, const QString& recording);
    // Stops it: nothing is written, and finished says so.
    void Cancel();
    bool Running() const { return running_; }
    QString Path() const { return path_; }
    // How far it has come (0 to 1), and what it does now ("Reading walk.csv").
    double Progress() const { return progress_; }
    QString Stage() const;

    // The pass graphs' size in pixels (the report prints them 640 points wide).
    static constexpr int GraphWidth = 1100, GraphHeight = 400;

  signals:
    void progressed();
    // ok: written; else error says why, or is empty when it was cancelled.
    void finished(bool ok, const QString& error);

  private:
    void run(ReportContents r, QString recording);
    bool readWalk(ReportContents& r, const QString& recording, QString& error);
    void drawPasses(ReportContents& r, const QString& recording);
    void setStage(const QString& stage, double progress);

    // A QThread (not a std::thread): the text layout of the PDF starts Qt timers of its own.
    std::unique_ptr<QThread> worker_;
    std::atomic<bool> cancel_{false}, running_{false};
    std::atomic<double> progress_{0};
    mutable std::mutex lock_;
    QString stage_, path_;
};

// A graph of the pass (or any stretch) [fromMs, toMs) of a recording for print: its replies read from the
// file where they are few enough, the segments and pauses of walk as spans. The painter is the review
// view's, in paper colours.
QImage DrawStretch(const QString& recording, std::int64_t fromMs, std::int64_t toMs, const WalkAnalysis& walk,
                   const QDateTime& wallAtZero, const QSize& size);

} // namespace commission
