// The user's record of forwards, read and kept locked for the run's change to it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "record/forward_record.h"
#include "record/record_file.h"

class ForwardRecordStore {
public:
    // The record, locked until the store ends. A damaged record is set aside under
    // another name with the reason beside it, and told; the store then starts empty.
    // Nothing, with the reason in `problem` (a sentence), when no record can be kept.
    static std::optional<ForwardRecordStore> Open(std::string& problem);

    std::vector<RecordedForward> forwards;

    // Writes the forwards back; false, told, when that failed. The renewal schedule
    // follows what is left.
    bool Save();

private:
    explicit ForwardRecordStore(std::unique_ptr<RecordFile> file) : file_(std::move(file)) {}

    std::unique_ptr<RecordFile> file_;
};
