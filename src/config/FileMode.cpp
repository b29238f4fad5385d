#include "config/FileMode.h"

#include "config/ParameterSender.h"
#include "config/ReadBack.h"

namespace config {

using namespace protocol::params;

FileMode::FileMode(ParameterSender& sender, ReadBack& readBack, QObject* parent)
    : QObject(parent), sender_(sender), readBack_(readBack) {
    connect(&sender_, &ParameterSender::fileEdited, this, &FileMode::edited);
}

void FileMode::Open(const QString& path, const protocol::params::Record& bytes, bool whole) {
    path_ = path;
    read_ = onDisk_ = bytes;
    whole_ = whole;
    active_ = true;
    sender_.LensesToUser();
    sender_.StartFileEdits(DecodeRecord(bytes));
    readBack_.ShowRecord(bytes);
    emit changed();
}

void FileMode::Close() {
    if (!active_) return;
    active_ = false;
    sender_.EndFileEdits();
    emit changed();
}

protocol::params::Record FileMode::Record() const {
    protocol::params::Record r = EncodeRecord(sender_.FileEdits());
    for (int pad : RecordPadOffsets) r[static_cast<std::size_t>(pad)] = read_[static_cast<std::size_t>(pad)];
    return r;
}

bool FileMode::Edited() const {
    return active_ && Record() != onDisk_;
}

void FileMode::Saved(const QString& path, const protocol::params::Record& bytes) {
    path_ = path;
    read_ = onDisk_ = bytes;
    whole_ = true;
    emit changed();
}

// The file's record plays the detector's read-back: the controls show it again at once, so that
// what follows a value (a caption, the output boxes an output's enable unlocks, the noise boxes
// under temperature compensation) follows the file.
void FileMode::edited() {
    readBack_.ShowRecord(Record());
    emit changed();
}

} // namespace config

#include "moc_FileMode.cpp"
