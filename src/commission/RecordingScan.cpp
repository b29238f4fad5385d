#include "commission/RecordingScan.h"

#include <QFileInfo>

namespace commission {

RecordingScan::RecordingScan(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RecordingScan::step);
}

bool RecordingScan::Start(const QString& path, std::function<void(const QString&)> done, QString& error) {
    Cancel();
    if (!reader_.Open(path, error)) return false;
    path_ = path;
    size_ = QFileInfo(path).size();
    read_ = 0;
    analysis_ = WalkAnalysis();
    done_ = std::move(done);
    timer_.start(0);
    return true;
}

void RecordingScan::Cancel() {
    timer_.stop();
    reader_.Close();
    done_ = nullptr;
}

double RecordingScan::Progress() const {
    return size_ > 0 ? std::min(1.0, static_cast<double>(read_) / static_cast<double>(size_)) : 1.0;
}

void RecordingScan::step() {
    QString error;
    RecordingReader::Entry e;
    // About a slice of the file per turn, the lines it holds analysed.
    const qint64 from = read_;
    while (read_ - from < RecordingReader::SliceBytes) {
        const RecordingReader::Result r = reader_.Next(e, error);
        if (r == RecordingReader::Result::Reply || r == RecordingReader::Result::Mark) {
            if (r == RecordingReader::Result::Reply) analysis_.Reply(e.ms, e.status);
            else analysis_.Mark(e.mark);
            read_ = e.offset;
            continue;
        }
        if (r == RecordingReader::Result::Later) break;
        if (r == RecordingReader::Result::End) analysis_.Finish();
        else if (r == RecordingReader::Result::Bad)
            error = QStringLiteral("%1 of \"%2\" is neither a status reply nor a mark: %3")
                        .arg(reader_.LineName(), path_, error);
        else error = QStringLiteral("\"%1\" could not be read on: %2").arg(path_, error);
        reader_.Close();
        read_ = size_;
        const auto done = std::move(done_);
        done_ = nullptr;
        if (done) done(error);
        return;
    }
    timer_.start(0);
}

} // namespace commission

#include "moc_RecordingScan.cpp"
