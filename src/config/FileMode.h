// File mode: a parameter file opened without a detector, shown on the settings controls and edited
// there as a detector's set would be, until it is saved. Nothing reaches the line meanwhile.
#pragma once

#include "protocol/ParameterBlock.h"

#include <QObject>
#include <QString>

namespace config {

class ReadBack;
class ParameterSender;

class FileMode : public QObject {
    Q_OBJECT
  public:
    FileMode(ParameterSender& sender, ReadBack& readBack, QObject* parent = nullptr);

    // Puts the file on the controls (both lenses back to "User" first, so that its values meet the
    // full ranges); their changes edit it from now on. whole: the file is this record and nothing more.
    void Open(const QString& path, const protocol::params::Record& bytes, bool whole);
    // The controls keep showing the file until something else is shown (the detector's read-back).
    void Close();
    bool Active() const { return active_; }
    const QString& Path() const { return path_; }
    // What Save writes: the record as read, with only the values changed on the controls changed. A
    // value the controls cannot show stays as it was unless its control was moved; pads and reserved
    // bytes stay as read.
    protocol::params::Record Record() const;
    // The file on disk (as read, or as last saved) differs from what Save would write.
    bool Edited() const;
    // Only a file that held exactly the record is replaced by a save to its own name without asking.
    bool Whole() const { return whole_; }
    // The record went to path, which is the file from now on.
    void Saved(const QString& path, const protocol::params::Record& bytes);
    // What the file on disk holds as far as this program knows.
    const protocol::params::Record& OnDisk() const { return onDisk_; }

  signals:
    // Opened, edited, saved or closed: the title and the status bar follow.
    void changed();

  private:
    void edited();

    ParameterSender& sender_;
    ReadBack& readBack_;
    bool active_ = false;
    bool whole_ = false;
    QString path_;
    protocol::params::Record read_{};
    protocol::params::Record onDisk_{};
};

} // namespace config
