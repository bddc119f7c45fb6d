// The record's file in the user's state folder, and its lock: held from Lock to the end
// of the object, so two runs at once each see the other's change.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/deadline.h"

class RecordFile {
public:
    // Locks the record in `folder`; nothing when the lock was not had by `until`.
    static std::unique_ptr<RecordFile> Lock(const std::string& folder, Deadline until);
    // `folder` without its lock, for a file of its own that is only ever replaced whole:
    // a reader sees one version or the other, and the last writer's stays. POSIX only.
    static std::unique_ptr<RecordFile> Unlocked(const std::string& folder);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // TooLarge: more than any record of ours, so not one; it is not read at all.
    enum class Kind { Missing, Regular, NotRegular, Unreadable, TooLarge };
    struct Content {
        Kind kind = Kind::Missing;
        std::string text;
    };
    // Each call is about one file of the record, `file`, under the one lock.
    // What is at its path, never through a link nor blocking on a FIFO.
    Content Read(const char* file) const;
    // Through a new file renamed into place.
    bool Replace(const char* file, const std::string& text) const;
    // Renames whatever is at the file's path to `name` beside it; false, and nothing
    // moved, when `name` is taken.
    bool MoveAside(const char* file, const std::string& name) const;
    bool WriteBeside(const std::string& name, const std::string& text) const;

    std::string Path(const char* file) const;

private:
    struct Handle;
    RecordFile(std::string folder, std::unique_ptr<Handle> handle);

    std::string folder_;
    std::unique_ptr<Handle> handle_;
};

// Far more than any record of ours (some ten thousand entries); a bigger file is not one.
inline constexpr std::size_t kRecordLimit = 4 * 1024 * 1024;
