// KavroBackground: runs Kavro.exe, from this program's folder, in the current folder,
// without a console window. Kavro is a console program, and the scheduled task that
// renews the forwards would otherwise flash one on the user's screen every few minutes.
#include <windows.h>

#include <string>
#include <utility>

#include "schedule/program_folder_windows.h"

namespace {

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle()
    {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Kavro ends by its own deadline within seconds; this only guards against a hang.
constexpr DWORD kLongestRunMs = 30000;

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::wstring program = ProgramFolder() + L"Kavro.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &started))
        return 1;
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    if (WaitForSingleObject(process.get(), kLongestRunMs) == WAIT_OBJECT_0) return 0;
    TerminateProcess(process.get(), 1);
    return 1;
}
