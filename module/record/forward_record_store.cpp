#include "record/forward_record_store.h"

#include <ctime>

#include "platform/state_folder.h"
#include "record/sentences.h"
#include "schedule/renewal_schedule.h"

namespace {

// Keeps what was there for a person to read, and says so; the new record starts empty.
// False when it could not be moved: then it is not written over either. A copy set
// aside before, in the same second too, is never written over.
bool SetAside(const RecordFile& file, const std::string& reason)
{
    const std::string stamp = std::string(kRecordFileName) + ".damaged-" + std::to_string(std::time(nullptr));
    Tell(record::sentence::Damaged, {{"path", file.Path()}, {"reason", reason}});
    std::string name = stamp;
    for (int another = 2; !file.MoveAside(name); ++another) {
        if (another > 100) return false;
        name = stamp + "-" + std::to_string(another);
    }
    file.WriteBeside(name + ".reason", "Set aside by Kavro: " + reason + ".\n");
    Tell(record::sentence::SetAsideAs, {{"name", name}});
    Headline(record::sentence::SetAside);
    return true;
}

RecordReading Reading(const RecordFile::Content& content)
{
    if (content.kind == RecordFile::Kind::NotRegular) return {{}, "it is not a regular file (a link, FIFO or folder)"};
    return ParseRecord(content.text);
}

} // namespace

std::optional<ForwardRecordStore> ForwardRecordStore::Open(Told& problem, Deadline until)
{
    const auto folder = StateFolder();
    if (!folder) {
        problem = Compose(record::sentence::NoFolder);
        return std::nullopt;
    }
    auto file = RecordFile::Lock(*folder, until);
    if (!file) {
        problem = Compose(record::sentence::InUse, {{"folder", *folder}});
        return std::nullopt;
    }
    const RecordFile::Content content = file->Read();
    if (content.kind == RecordFile::Kind::TooLarge) {
        problem = Compose(record::sentence::TooLarge,
                          {{"path", file->Path()}, {"megabytes", std::to_string(kRecordLimit / (1024 * 1024))}});
        return std::nullopt;
    }
    if (content.kind == RecordFile::Kind::Unreadable) {
        problem = Compose(record::sentence::Unreadable, {{"path", file->Path()}});
        return std::nullopt;
    }
    ForwardRecordStore store(std::move(file));
    if (content.kind == RecordFile::Kind::Missing) return store;
    RecordReading reading = Reading(content);
    if (reading.damage.empty()) {
        store.forwards = std::move(reading.forwards);
    } else if (!SetAside(*store.file_, reading.damage)) {
        problem = Compose(record::sentence::NotSetAside, {{"path", store.file_->Path()}});
        return std::nullopt;
    }
    return store;
}

bool ForwardRecordStore::Save()
{
    const bool saved = file_->Replace(FormatRecord(forwards));
    if (!saved) {
        // The record as it stands is the one the schedule already follows.
        Tell(record::sentence::NotWritten, {{"path", file_->Path()}});
        return false;
    }
    RenewalScheduleFollows(!forwards.empty());
    return true;
}
