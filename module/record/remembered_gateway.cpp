#include "record/remembered_gateway.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "gateway/upnp/ssdp_response.h"
#include "platform/state_folder.h"
#include "record/record_file.h"

// On Windows the library's calls run on threads of the module itself, whose error lines (a
// refused location's "Socket error: connect, 10061") cannot be kept off standard error; a
// remembered location that refuses, as after every restart of a router that picks its port
// anew, would show one there. Nothing is remembered on Windows.
#ifndef _WIN32
namespace {

constexpr const char* kGatewayFile = "gateway";
constexpr std::string_view kHeader = "varneth gateway 1";
// The library keeps a control URL in 128 bytes; a longer location is none a router gave.
constexpr std::size_t kLongest = 127;

// Printable, no spaces or tabs: as a router's SSDP answer and description give them.
bool Plain(std::string_view text)
{
    if (text.empty() || text.size() > kLongest) return false;
    for (const char c : text)
        if (c <= ' ' || c > '~') return false;
    return true;
}

std::optional<std::string_view> Field(std::string_view part, std::string_view name)
{
    if (part.substr(0, name.size()) != name || part.substr(name.size(), 1) != "=") return std::nullopt;
    return part.substr(name.size() + 1);
}

std::optional<gateway::RememberedGateway> Parse(std::string_view text)
{
    if (text.substr(0, kHeader.size() + 1) != std::string(kHeader) + "\n") return std::nullopt;
    text.remove_prefix(kHeader.size() + 1);
    std::string_view line = text.substr(0, text.find('\n'));
    constexpr std::string_view kEntry = "gateway\t";
    if (line.substr(0, kEntry.size()) != kEntry) return std::nullopt;
    line.remove_prefix(kEntry.size());
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return std::nullopt;
    const auto location = Field(line.substr(0, tab), "location");
    const auto udn = Field(line.substr(tab + 1), "udn");
    if (!location || !udn || !Plain(*location) || !Plain(*udn) || location->substr(0, 7) != "http://" ||
        !gateway::UrlHost(*location))
        return std::nullopt;
    return gateway::RememberedGateway{std::string(*location), std::string(*udn)};
}

std::unique_ptr<RecordFile> Folder()
{
    const auto folder = StateFolder();
    return folder ? RecordFile::Unlocked(*folder) : nullptr;
}

std::optional<gateway::RememberedGateway> Read()
{
    const auto folder = Folder();
    if (!folder) return std::nullopt;
    const RecordFile::Content content = folder->Read(kGatewayFile);
    return content.kind == RecordFile::Kind::Regular ? Parse(content.text) : std::nullopt;
}

// Not written: the next run searches, as this one would have without it.
void Write(const gateway::RememberedGateway& gateway)
{
    if (!Plain(gateway.location) || !Plain(gateway.udn)) return;
    if (const auto folder = Folder())
        folder->Replace(kGatewayFile, std::string(kHeader) + "\ngateway\tlocation=" + gateway.location + "\tudn=" +
                                          gateway.udn + "\n");
}

} // namespace
#endif

gateway::GatewaySettings RememberingGateway(gateway::GatewaySettings settings)
{
#ifndef _WIN32
    settings.readRemembered = Read;
    settings.remember = Write;
#endif
    return settings;
}
