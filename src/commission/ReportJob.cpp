#include "commission/ReportJob.h"

#include "commission/Recording.h"
#include "commission/ReportText.h"
#include "commission/SignalSummary.h"
#include "graph/Fonts.h"
#include "graph/ReviewPicture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace commission {

namespace {

constexpr qint64 TellEveryMs = 100;

QFont graphFont() {
    QFont font = graph::ProgramFont();
    font.setPixelSize(15); // printed 640 points wide: about 9 points
    return font;
}

} // namespace

QImage DrawStretch(const QString& recording, std::int64_t fromMs, std::int64_t toMs, const WalkAnalysis& walk,
                   const QDateTime& wallAtZero, const QSize& size) {
    const QFont font = graphFont();
    graph::ReviewPicture picture;
    const int n = std::max(1, graph::ReviewColumns(size, font));
    picture.fromMs = fromMs;
    picture.msPerColumn = std::max(1.0, double(toMs - fromMs) / n);
    picture.columns.assign(static_cast<std::size_t>(n), {});
    picture.wallAtZero = wallAtZero;
    RecordingReader reader;
    QString error;
    int highest = 0;
    if (reader.Open(recording, error)) {
        reader.SeekTo(reader.FindTime(fromMs));
        RecordingReader::Entry e;
        for (;;) {
            const RecordingReader::Result r = reader.Next(e, error);
            if (r == RecordingReader::Result::Later || r == RecordingReader::Result::Mark) continue;
            if (r != RecordingReader::Result::Reply || e.ms >= picture.toMs()) break;
            const double i = std::floor(double(e.ms - fromMs) / picture.msPerColumn);
            if (i < 0 || i >= n) continue;
            const Reading reading = ReadingOf(e.ms, e.status);
            picture.columns[static_cast<std::size_t>(i)].Add(reading.signal, reading.threshold, reading.alarmFlags,
                                                             reading.stateFlags);
            for (int c = 0; c < 3; ++c)
                highest = std::max({highest, int(reading.signal[c]), int(reading.threshold[c])});
        }
    }
    picture.valueTop = std::max(800, (highest + 99) / 100 * 100);
    for (const WalkSegment& s : walk.Segments()) {
        if (s.endMs < fromMs || s.startMs >= toMs) continue;
        const QString name =
            QStringLiteral("%1 %2").arg(s.isPass() ? QStringLiteral("Pass") : QStringLiteral("Quiet")).arg(s.number);
        picture.spans.push_back(
            {s.isPass() ? graph::ReviewSpan::Kind::Pass : graph::ReviewSpan::Kind::Quiet, s.startMs, s.endMs,
             name + (s.note.isEmpty() ? QString() : QStringLiteral(": ") + s.note),
             QStringLiteral("%1%2").arg(s.isPass() ? QLatin1Char('P') : QLatin1Char('Q')).arg(s.number)});
    }
    for (const WalkPause& p : walk.Pauses())
        if (p.startMs + p.lengthMs >= fromMs && p.startMs < toMs)
            picture.spans.push_back({graph::ReviewSpan::Kind::Pause, p.startMs, p.startMs + p.lengthMs,
                                     QStringLiteral("Paused %1").arg(ReportSeconds(p.lengthMs)), QStringLiteral("||")});
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    graph::PaintReview(painter, size, picture, graph::ReviewStyle::Paper(font));
    return image;
}

ReportJob::ReportJob(QObject* parent) : QObject(parent) {}

ReportJob::~ReportJob() {
    cancel_ = true;
    if (worker_) worker_->wait();
}

QString ReportJob::Stage() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return stage_;
}

void ReportJob::setStage(const QString& stage, double progress) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stage_ = stage;
    }
    progress_ = progress;
    QMetaObject::invokeMethod(this, &ReportJob::progressed, Qt::QueuedConnection);
}

void ReportJob::Start(const ReportContents& r, const QString& path, const QString& recording) {
    cancel_ = true;
    if (worker_) worker_->wait();
    cancel_ = false;
    running_ = true;
    progress_ = 0;
    path_ = path;
    worker_.reset(QThread::create([this, r, recording] { run(r, recording); }));
    worker_->start(QThread::LowPriority);
}

void ReportJob::Cancel() {
    cancel_ = true;
}

void ReportJob::run(ReportContents r, QString recording) {
    QString error;
    bool ok = true;
    if (!recording.isEmpty()) ok = readWalk(r, recording, error);
    if (ok && !cancel_ && !recording.isEmpty()) drawPasses(r, recording);
    if (ok && !cancel_) {
        setStage(QStringLiteral("Writing the PDF"), 0.9);
        ok = WriteReport(path_, r, error, [this] { return cancel_.load(); });
    }
    if (cancel_) {
        ok = false;
        error.clear();
    }
    progress_ = 1;
    QMetaObject::invokeMethod(
        this,
        [this, ok, error] {
            if (worker_) worker_->wait();
            running_ = false;
            emit finished(ok, error);
        },
        Qt::QueuedConnection);
}

bool ReportJob::readWalk(ReportContents& r, const QString& recording, QString& error) {
    const QString name = QFileInfo(recording).fileName();
    setStage(QStringLiteral("Reading %1").arg(name), 0);
    RecordingReader reader;
    if (!reader.Open(recording, error)) return false;
    const double size = std::max<double>(1, double(QFileInfo(recording).size()));
    WalkAnalysis walk;
    walk.KeepAlso([](const WalkSegment& s) { return !VerdictOf(s).good; }); // every pass missed, quiet flagged
    EventEpisodes episodes;
    std::int64_t lastMs = -1;
    QElapsedTimer sinceTold;
    sinceTold.start();
    RecordingReader::Entry e;
    for (std::uint64_t count = 0;; ++count) {
        if ((count & 1023) == 0) {
            if (cancel_) return false;
            if (sinceTold.elapsed() >= TellEveryMs) {
                setStage(QStringLiteral("Reading %1").arg(name), 0.75 * double(e.offset) / size);
                sinceTold.restart();
            }
        }
        const RecordingReader::Result result = reader.Next(e, error);
        if (result == RecordingReader::Result::Later) continue;
        if (result == RecordingReader::Result::Reply) {
            walk.Reply(e.ms, e.status);
            episodes.Reply(e.ms, e.status.alarmFlags, e.status.stateFlags);
            lastMs = std::max(lastMs, e.ms);
            continue;
        }
        if (result == RecordingReader::Result::Mark) {
            walk.Mark(e.mark);
            if (e.mark.kind == recording::Mark::Kind::Paused) lastMs = std::max(lastMs, e.mark.ms + e.mark.lengthMs);
            continue;
        }
        if (result == RecordingReader::Result::End) break;
        error = result == RecordingReader::Result::Bad
                    ? QStringLiteral("%1 of \"%2\" is neither a status reply nor a mark: %3")
                          .arg(reader.LineName(), recording, error)
                    : QStringLiteral("\"%1\" could not be read on: %2").arg(recording, error);
        return false;
    }
    walk.Finish();
    if (r.walkFile.isEmpty()) r.walkFile = name;
    r.walk = std::move(walk);
    r.episodes = std::move(episodes);
    if (r.fromRecording) {
        r.parametersKnown = r.walk.Parameters().has_value();
        if (r.parametersKnown) r.parameters = *r.walk.Parameters();
    }
    // The file was last changed when its last line was written: that gives the walk's wall-clock times.
    const QDateTime changed = QFileInfo(recording).lastModified();
    if (changed.isValid() && lastMs >= 0) r.wallAtZero = changed.addMSecs(-lastMs);
    return true;
}

void ReportJob::drawPasses(ReportContents& r, const QString& recording) {
    std::size_t drawn = 0;
    std::size_t passes = 0;
    for (const WalkSegment& s : r.walk.Segments()) passes += s.isPass() && s.replies > 0;
    const std::size_t graphs = std::min(passes, GraphedPasses);
    for (const WalkSegment& s : r.walk.Segments()) {
        if (cancel_ || drawn >= graphs) break;
        if (!s.isPass() || s.replies == 0) continue;
        setStage(QStringLiteral("Drawing pass %1").arg(s.number), 0.75 + 0.15 * double(drawn) / double(graphs));
        // A little of the time before and after the pass, so that its rise and fall show.
        const std::int64_t around = std::max<std::int64_t>(2000, (s.endMs - s.startMs) / 4);
        PassGraph graph;
        graph.title = QStringLiteral("Pass %1%2, %3 to %4")
                          .arg(s.number)
                          .arg(s.note.isEmpty() ? QString() : QStringLiteral(": ") + s.note,
                               ReportTime(s.startMs, r.wallAtZero), ReportTime(s.endMs, r.wallAtZero));
        graph.image = DrawStretch(recording, std::max<std::int64_t>(0, s.startMs - around), s.endMs + around, r.walk,
                                  r.wallAtZero, QSize(GraphWidth, GraphHeight));
        r.passGraphs.push_back(std::move(graph));
        ++drawn;
    }
}

} // namespace commission

#include "moc_ReportJob.cpp"
