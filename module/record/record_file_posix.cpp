#include "record/record_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "platform/deadline.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/replace_file.h"
#include "platform/posix/unique_fd.h"

struct RecordFile::Handle {
    UniqueFd folder;
    UniqueFd lock;
};

RecordFile::RecordFile(std::string folder, std::unique_ptr<Handle> handle)
    : folder_(std::move(folder)), handle_(std::move(handle))
{
}

RecordFile::~RecordFile() = default;

std::unique_ptr<RecordFile> RecordFile::Unlocked(const std::string& folder)
{
    auto handle = std::make_unique<Handle>();
    handle->folder = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!handle->folder) return nullptr;
    return std::unique_ptr<RecordFile>(new RecordFile(folder, std::move(handle)));
}

std::unique_ptr<RecordFile> RecordFile::Lock(const std::string& folder, Deadline until)
{
    std::unique_ptr<RecordFile> file = Unlocked(folder);
    if (!file) return nullptr;
    Handle* handle = file->handle_.get();
    // A file of its own to lock: the record itself is replaced on every write.
    handle->lock = UniqueFd(
        ::openat(handle->folder.get(), "forwards.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!handle->lock) return nullptr;
    while (::flock(handle->lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return file;
}

RecordFile::Content RecordFile::Read(const char* file) const
{
    const UniqueFd in(::openat(handle_->folder.get(), file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in) {
        // ELOOP: a link at the path, which is not followed.
        if (errno == ENOENT) return {Kind::Missing, {}};
        return {errno == ELOOP ? Kind::NotRegular : Kind::Unreadable, {}};
    }
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) return {Kind::Unreadable, {}};
    if (!S_ISREG(info.st_mode)) return {Kind::NotRegular, {}};
    // A byte past the limit tells a record cut short by the limit from one that ends there.
    auto text = ReadAtMost(in.get(), kRecordLimit + 1);
    if (!text) return {Kind::Unreadable, {}};
    if (text->size() > kRecordLimit) return {Kind::TooLarge, {}};
    return {Kind::Regular, std::move(*text)};
}

bool RecordFile::Replace(const char* file, const std::string& text) const { return ReplaceFile(folder_, file, text); }

bool RecordFile::MoveAside(const char* file, const std::string& name) const
{
    const int folder = handle_->folder.get();
    if (::renameat2(folder, file, folder, name.c_str(), RENAME_NOREPLACE) == 0) return true;
    // A file system that cannot refuse to replace: looked at first.
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat taken {};
    if (::fstatat(folder, name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) return false;
    return ::renameat(folder, file, folder, name.c_str()) == 0;
}

bool RecordFile::WriteBeside(const std::string& name, const std::string& text) const
{
    return ReplaceFile(folder_, name, text);
}

std::string RecordFile::Path(const char* file) const { return folder_ + "/" + file; }
