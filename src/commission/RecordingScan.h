// Reads a whole recording for its passes, quiet stretches and pauses, a slice per turn of the event
// loop, so that even a very long one never holds the window.
#pragma once

#include "commission/WalkAnalysis.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace commission {

class RecordingScan : public QObject {
    Q_OBJECT
  public:
    explicit RecordingScan(QObject* parent = nullptr);

    // Starts reading path (a scan under way is dropped); done runs once, at the end, with an empty
    // error when the whole file was read. False, with error, when the file cannot be opened.
    bool Start(const QString& path, std::function<void(const QString& error)> done, QString& error);
    void Cancel();
    bool Running() const { return reader_.IsOpen(); }
    QString Path() const { return path_; }
    // How far it has come, from 0 to 1.
    double Progress() const;
    // What it found (complete once done has run without an error).
    const WalkAnalysis& Analysis() const { return analysis_; }

  private:
    void step();

    RecordingReader reader_;
    WalkAnalysis analysis_;
    QString path_;
    qint64 size_ = 0, read_ = 0;
    std::function<void(const QString&)> done_;
    QTimer timer_;
};

} // namespace commission
