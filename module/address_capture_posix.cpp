// Elsewhere there is no ipconfig: the module writes the report itself, one
// ipconfig-shaped line per IPv4 address of every running, non-loopback interface.
// The temporary directory may be shared by every user, so the capture is never
// written or read through a link or a file someone else owns.
#include "address_capture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Removes an earlier capture of ours (a file or a link, never what a link points at).
// Someone else's entry stays, and the exclusive create below then fails.
void RemoveOwnCapture(const std::string& path)
{
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && existing.st_uid == ::geteuid()) ::unlink(path.c_str());
}

bool WriteCapture(const std::string& path)
{
    RemoveOwnCapture(path);
    const UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    return out && WriteAll(out.get(), BuildReport());
}

std::optional<std::string> ReadCapture(const std::string& path)
{
    const UniqueFd in(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in) return std::nullopt;
    struct stat info {};
    if (::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    while (bytes.size() < kReportLimit) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

} // namespace

std::optional<std::string> CaptureAddressReport()
{
    const std::string path = TemporaryDirectory() + "/ip_c.tmp";
    if (!WriteCapture(path)) return std::nullopt;
    return ReadCapture(path);
}
