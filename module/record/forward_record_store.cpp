#include "record/forward_record_store.h"

#include <ctime>

#include "diagnostics.h"
#include "platform/state_folder.h"
#include "schedule/renewal_schedule.h"

namespace {

// Keeps what was there for a person to read, and says so; the new record starts empty.
// False when it could not be moved: then it is not written over either. A copy set
// aside before, in the same second too, is never written over.
bool SetAside(const RecordFile& file, const std::string& reason)
{
    const std::string stamp = std::string(kRecordFileName) + ".damaged-" + std::to_string(std::time(nullptr));
    UserLine("The record of open ports " + file.Path() + " is damaged: " + reason + ".");
    std::string name = stamp;
    for (int another = 2; !file.MoveAside(name); ++another) {
        if (another > 100) return false;
        name = stamp + "-" + std::to_string(another);
    }
    file.WriteBeside(name + ".reason", "Set aside by Kavro: " + reason + ".\n");
    UserLine("It was set aside as " + name + " beside it.");
    Headline("The record of the ports this tool opened was damaged and has been set aside. Ports it held stay open "
             "on the router until their time runs out; close them there if they must close sooner.");
    return true;
}

RecordReading Reading(const RecordFile::Content& content)
{
    if (content.kind == RecordFile::Kind::NotRegular) return {{}, "it is not a regular file (a link, FIFO or folder)"};
    return ParseRecord(content.text);
}

} // namespace

std::optional<ForwardRecordStore> ForwardRecordStore::Open(std::string& problem, Deadline until)
{
    const auto folder = StateFolder();
    if (!folder) {
        problem = "There is no folder for the record of open ports (no home folder). Set HOME or XDG_STATE_HOME.";
        return std::nullopt;
    }
    auto file = RecordFile::Lock(*folder, until);
    if (!file) {
        problem = "The record of open ports in " + *folder + " is in use by another run of this tool (renewing or "
                  "closing ports). Try again in a few seconds.";
        return std::nullopt;
    }
    const RecordFile::Content content = file->Read();
    if (content.kind == RecordFile::Kind::TooLarge) {
        problem = "The record of open ports " + file->Path() + " is larger than " +
                  std::to_string(kRecordLimit / (1024 * 1024)) + " MB, far more than this tool ever writes, so it was "
                  "neither read nor changed. Move it away, then try again.";
        return std::nullopt;
    }
    if (content.kind == RecordFile::Kind::Unreadable) {
        problem = "The record of open ports " + file->Path() + " could not be read. Check its permissions.";
        return std::nullopt;
    }
    ForwardRecordStore store(std::move(file));
    if (content.kind == RecordFile::Kind::Missing) return store;
    RecordReading reading = Reading(content);
    if (reading.damage.empty()) {
        store.forwards = std::move(reading.forwards);
    } else if (!SetAside(*store.file_, reading.damage)) {
        problem = "The record of open ports " + store.file_->Path() + " is damaged and could not be set aside. Move "
                  "it away, then try again.";
        return std::nullopt;
    }
    return store;
}

bool ForwardRecordStore::Save()
{
    const bool saved = file_->Replace(FormatRecord(forwards));
    if (!saved) {
        // The record as it stands is the one the schedule already follows.
        UserLine("The record of open ports " + file_->Path() + " could not be written.");
        return false;
    }
    RenewalScheduleFollows(!forwards.empty());
    return true;
}
