// Elsewhere there is no ipconfig: the module writes the report itself, one
// ipconfig-shaped line per IPv4 address of every running, non-loopback interface.
// The temporary directory may be shared by every user, so the capture goes into a
// folder made for this run alone, removed again with it.
#include "addresses/address_capture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/fd_io.h"
#include "platform/posix/unique_fd.h"

namespace {

constexpr std::size_t kReportLimit = 1024 * 1024;

class InterfaceList {
public:
    InterfaceList()
    {
        if (::getifaddrs(&list_) != 0) list_ = nullptr;
    }
    ~InterfaceList()
    {
        if (list_ != nullptr) ::freeifaddrs(list_);
    }
    InterfaceList(const InterfaceList&) = delete;
    InterfaceList& operator=(const InterfaceList&) = delete;
    const ifaddrs* first() const { return list_; }

private:
    ifaddrs* list_ = nullptr;
};

std::string TemporaryDirectory()
{
    const char* tmpdir = std::getenv("TMPDIR");
    return tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
}

bool Reportable(const ifaddrs& entry)
{
    const unsigned flags = entry.ifa_flags;
    return entry.ifa_addr != nullptr && entry.ifa_addr->sa_family == AF_INET && (flags & IFF_UP) &&
           (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
}

std::string BuildReport()
{
    std::string report;
    const InterfaceList interfaces;
    for (const ifaddrs* entry = interfaces.first(); entry != nullptr; entry = entry->ifa_next) {
        if (!Reportable(*entry)) continue;
        char address[INET_ADDRSTRLEN] = {};
        const auto* inet = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &inet->sin_addr, address, sizeof address) == nullptr) continue;
        report += "   IPv4 Address. . . . . . . . . . . : ";
        report += address;
        report += '\n';
    }
    return report;
}

// A folder only we can enter, made for one capture (mode 0700, a name nobody could
// guess or hold beforehand), and removed afterwards with the capture in it.
class CaptureFolder {
public:
    explicit CaptureFolder(const std::string& parent)
    {
        std::string pattern = parent + "/kavro.XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~CaptureFolder()
    {
        if (path_.empty()) return;
        ::unlink(File().c_str());
        ::rmdir(path_.c_str());
    }
    CaptureFolder(const CaptureFolder&) = delete;
    CaptureFolder& operator=(const CaptureFolder&) = delete;

    bool Made() const { return !path_.empty(); }
    std::string File() const { return path_ + "/ip_c.tmp"; }

private:
    std::string path_;
};

bool WriteCapture(const std::string& path)
{
    const UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    return out && WriteAll(out.get(), BuildReport());
}

std::optional<std::string> ReadCapture(const std::string& path)
{
    const UniqueFd in(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in) return std::nullopt;
    return ReadAtMost(in.get(), kReportLimit);
}

} // namespace

std::optional<std::string> CaptureAddressReport()
{
    const CaptureFolder folder(TemporaryDirectory());
    if (!folder.Made() || !WriteCapture(folder.File())) return std::nullopt;
    return ReadCapture(folder.File());
}
