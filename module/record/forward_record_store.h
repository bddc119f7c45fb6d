// The user's record of forwards, both its files, read and kept locked for the run's change to it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "record/forward_record.h"
#include "record/record_file.h"
#include "tell.h"

class ForwardRecordStore {
public:
    // The record, locked until the store ends; the lock is waited for until `until`. A
    // damaged record is set aside under a name of its own with the reason beside it, and
    // told; the store then starts empty. Nothing, with the reason in `problem`, when no record can be kept, a record too large to be one included:
    // that is left as it is.
    static std::optional<ForwardRecordStore> Open(Told& problem, Deadline until = RunDeadline());

    std::vector<RecordedForward> forwards;

    // Writes the forwards back; false when that failed, with a line for the developer:
    // what it means for the user is the caller's to say. The renewal schedule follows
    // what is written.
    bool Save();

private:
    explicit ForwardRecordStore(std::unique_ptr<RecordFile> file) : file_(std::move(file)) {}

    std::unique_ptr<RecordFile> file_;
    bool firewallOnlyFound_ = false;
};
