#include "platform/replace_file_windows.h"
#include "record/record_file.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace {

struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    explicit operator bool() const { return handle != INVALID_HANDLE_VALUE; }
};

bool WriteNew(const std::wstring& path, const std::string& text)
{
    const FileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return out && ::WriteFile(out.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

} // namespace

std::wstring WideFromUtf8(const std::string& utf8)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

// Through a new file renamed into place; MoveFileEx replaces a link, never follows it.
bool ReplaceStateFile(const std::string& folder, const std::string& name, const std::string& text)
{
    const std::wstring target = WideFromUtf8(folder + "\\" + name);
    const std::wstring created = WideFromUtf8(folder + "\\." + name + "." + std::to_string(::GetCurrentProcessId()));
    if (WriteNew(created, text) && ::MoveFileExW(created.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileW(created.c_str());
    return false;
}

struct RecordFile::Handle {
    FileHandle lock;
};

RecordFile::RecordFile(std::string folder, std::unique_ptr<Handle> handle)
    : folder_(std::move(folder)), handle_(std::move(handle))
{
}

RecordFile::~RecordFile() = default;

std::unique_ptr<RecordFile> RecordFile::Lock(const std::string& folder, Deadline until)
{
    auto handle = std::unique_ptr<Handle>(new Handle{FileHandle(
        ::CreateFileW(WideFromUtf8(folder + "\\forwards.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))});
    if (!handle->lock) return nullptr;
    OVERLAPPED whole{};
    while (!::LockFileEx(handle->lock.handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        if (Clock::now() >= until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::unique_ptr<RecordFile>(new RecordFile(folder, std::move(handle)));
}

RecordFile::Content RecordFile::Read(const char* file) const
{
    const std::wstring path = WideFromUtf8(Path(file));
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {::GetLastError() == ERROR_FILE_NOT_FOUND ? Kind::Missing : Kind::Unreadable, {}};
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return {Kind::NotRegular, {}};
    const FileHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!in) return {Kind::Unreadable, {}};
    if (::GetFileType(in.handle) != FILE_TYPE_DISK) return {Kind::NotRegular, {}};
    // A byte past the limit tells a record cut short by the limit from one that ends there.
    constexpr DWORD kMostRead = static_cast<DWORD>(kRecordLimit) + 1;
    std::string text(kMostRead, '\0');
    DWORD read = 0;
    if (!::ReadFile(in.handle, text.data(), kMostRead, &read, nullptr)) return {Kind::Unreadable, {}};
    if (read > kRecordLimit) return {Kind::TooLarge, {}};
    text.resize(read);
    return {Kind::Regular, std::move(text)};
}

bool RecordFile::Replace(const char* file, const std::string& text) const { return ReplaceStateFile(folder_, file, text); }

bool RecordFile::MoveAside(const char* file, const std::string& name) const
{
    // Without MOVEFILE_REPLACE_EXISTING a name that is taken stays as it is.
    return ::MoveFileExW(WideFromUtf8(Path(file)).c_str(), WideFromUtf8(folder_ + "\\" + name).c_str(), 0);
}

bool RecordFile::WriteBeside(const std::string& name, const std::string& text) const
{
    return ReplaceStateFile(folder_, name, text);
}

std::string RecordFile::Path(const char* file) const { return folder_ + "\\" + file; }
