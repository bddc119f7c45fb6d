#include "platform/state_folder.h"

#include <windows.h>

#include <cstdlib>

namespace {

std::string Utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                              nullptr);
    return bytes;
}

// Makes `path` a folder if it is missing; a reparse point (a link) there is refused.
bool MakeFolder(const std::wstring& path)
{
    if (!::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

bool StateFolderMissing()
{
    const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
    if (local == nullptr || local[0] == L'\0') return false;
    const std::wstring folder = std::wstring(local) + L"\\Varneth";
    if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::optional<std::string> StateFolder(const std::string& sub)
{
    const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
    if (local == nullptr || local[0] == L'\0') return std::nullopt;
    std::wstring folder = std::wstring(local) + L"\\Varneth";
    if (!MakeFolder(folder)) return std::nullopt;
    if (!sub.empty()) {
        folder += L"\\" + std::wstring(sub.begin(), sub.end());
        if (!MakeFolder(folder)) return std::nullopt;
    }
    return Utf8(folder);
}
