#include "record/forward_record_store.h"

#include <ctime>

#include "diagnostics.h"
#include "platform/state_folder.h"
#include "schedule/renewal_schedule.h"

namespace {

// Keeps what was there for a person to read, and says so; the new record starts empty.
// False when it could not be moved: then it is not written over either.
bool SetAside(const RecordFile& file, const std::string& reason)
{
    const std::string name = std::string(kRecordFileName) + ".damaged-" + std::to_string(std::time(nullptr));
    UserLine("The record of open ports " + file.Path() + " is damaged: " + reason + ".");
    if (!file.MoveAside(name)) return false;
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

std::optional<ForwardRecordStore> ForwardRecordStore::Open(std::string& problem)
{
    const auto folder = StateFolder();
    if (!folder) {
        problem = "There is no folder for the record of open ports (no home folder). Set HOME or XDG_STATE_HOME.";
        return std::nullopt;
    }
    auto file = RecordFile::Lock(*folder);
    if (!file) {
        problem = "The record of open ports in " + *folder + " could not be locked in time. Try again.";
        return std::nullopt;
    }
    const RecordFile::Content content = file->Read();
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
        UserLine("The record of open ports " + file_->Path() + " could not be written.");
        Headline("The record of the ports this tool opened could not be written, so they will not be renewed or "
                 "listed. Check that the home folder has space and is writable.");
    }
    RenewalScheduleFollows(!forwards.empty());
    return saved;
}
