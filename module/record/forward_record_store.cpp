#include "record/forward_record_store.h"

#include <algorithm>
#include <ctime>

#include "platform/state_folder.h"
#include "record/sentences.h"
#include "schedule/renewal_schedule.h"

namespace {

// Keeps what was there for a person to read, and says so; the new record starts empty.
// False when it could not be moved: then it is not written over either. A copy set
// aside before, in the same second too, is never written over.
bool SetAside(const RecordFile& file, const RecordKind& kind, const std::string& reason)
{
    const std::string stamp = std::string(kind.file) + ".damaged-" + std::to_string(std::time(nullptr));
    Tell(record::sentence::Damaged, {{"path", file.Path(kind.file)}, {"reason", reason}});
    std::string name = stamp;
    for (int another = 2; !file.MoveAside(kind.file, name); ++another) {
        if (another > 100) return false;
        name = stamp + "-" + std::to_string(another);
    }
    file.WriteBeside(name + ".reason", "Set aside by Kavro: " + reason + ".\n");
    Tell(record::sentence::SetAsideAs, {{"name", name}});
    Headline(record::sentence::SetAside);
    return true;
}

RecordReading Reading(const RecordFile::Content& content, const RecordKind& kind)
{
    if (content.kind == RecordFile::Kind::NotRegular) return {{}, "it is not a regular file (a link, FIFO or folder)"};
    return ParseRecord(content.text, kind);
}

// The entries of one file of the record, appended to `forwards`; false, with the reason
// in `problem`, when it can be neither read nor set aside. `found`: a file was there.
bool ReadInto(const RecordFile& file, const RecordKind& kind, std::vector<RecordedForward>& forwards, bool& found,
              Told& problem)
{
    const RecordFile::Content content = file.Read(kind.file);
    found = content.kind != RecordFile::Kind::Missing;
    if (content.kind == RecordFile::Kind::TooLarge) {
        problem = Compose(record::sentence::TooLarge, {{"path", file.Path(kind.file)},
                                                       {"megabytes", std::to_string(kRecordLimit / (1024 * 1024))}});
        return false;
    }
    if (content.kind == RecordFile::Kind::Unreadable) {
        problem = Compose(record::sentence::Unreadable, {{"path", file.Path(kind.file)}});
        return false;
    }
    if (!found) return true;
    RecordReading reading = Reading(content, kind);
    if (reading.damage.empty()) {
        forwards.insert(forwards.end(), reading.forwards.begin(), reading.forwards.end());
        return true;
    }
    if (SetAside(file, kind, reading.damage)) return true;
    problem = Compose(record::sentence::NotSetAside, {{"path", file.Path(kind.file)}});
    return false;
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
    ForwardRecordStore store(std::move(file));
    bool found = false;
    if (!ReadInto(*store.file_, kForwardsFile, store.forwards, found, problem) ||
        !ReadInto(*store.file_, kFirewallOnlyFile, store.forwards, store.firewallOnlyFound_, problem))
        return std::nullopt;
    return store;
}

bool ForwardRecordStore::Save()
{
    // The firewall-only file is written once it has held an entry: most users never have one.
    const bool firewallOnly = firewallOnlyFound_ || std::any_of(forwards.begin(), forwards.end(),
                                                                [](const RecordedForward& f) { return f.firewallOnly; });
    for (const RecordKind* kind : {&kForwardsFile, &kFirewallOnlyFile}) {
        if (kind == &kFirewallOnlyFile && !firewallOnly) continue;
        if (!file_->Replace(kind->file, FormatRecord(forwards, *kind))) {
            // The record as it stands is the one the schedule already follows.
            Tell(record::sentence::NotWritten, {{"path", file_->Path(kind->file)}});
            return false;
        }
    }
    firewallOnlyFound_ = firewallOnly;
    RenewalScheduleFollows(!forwards.empty());
    return true;
}
