#include "gateway/upnp/igd_connection.h"
#include "gateway/sentences.h"

#include <miniupnpc/miniwget.h>
#include <miniupnpc/upnpcommands.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "gateway/host/bounded_call.h"
#include "tell.h"
#include "gateway/gateway_log.h"
#include "gateway/gateway_verdict.h"
#include "gateway/gateway_headlines.h"
#include "gateway/upnp/ipv6_soap.h"
#include "gateway/upnp/ssdp_response.h"
#include "gateway/upnp/upnp_errors.h"

// GetSpecificPortMappingEntry with its remote host argument came with API 10; the
// calls used here are the same in every API since (17 in Debian 12, 18 and later).
#if !defined(MINIUPNPC_API_VERSION) || MINIUPNPC_API_VERSION < 10
#error "libminiupnpc 1.9 (API 10) or later is needed"
#endif

namespace gateway {
namespace {

struct UrlsOwner {
    UPNPUrls urls{};
    ~UrlsOwner() { FreeUPNPUrls(&urls); }
    void Rebuild(IGDdatas& data, const std::string& location)
    {
        FreeUPNPUrls(&urls);
        GetUPNPUrls(&urls, &data, location.c_str(), 0);
    }
};

// The library's own test for a gateway description, and a connection service to call.
bool DescribesGateway(const IGDdatas& data)
{
    constexpr std::string_view commonInterface = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:";
    return std::string_view(data.CIF.servicetype).substr(0, commonInterface.size()) == commonInterface &&
           data.first.servicetype[0] != '\0';
}

// SOAP goes only to the host that answered the search: a description may name any
// host in URLBase or a control URL.
bool ControlledAt(const UPNPUrls& urls, const std::string& location)
{
    const auto control = UrlHost(urls.controlURL ? urls.controlURL : "");
    return control && control == UrlHost(location);
}

// A gateway may list both a WANPPPConnection and a WANIPConnection, only one of them
// in use: try the second when the first is not connected, as UPNP_GetValidIGD does.
// UPNP_GetValidIGD itself is not used since it calls the control URL before it can be checked.
bool ConnectedService(UrlsOwner& owner, IGDdatas& data, const std::string& location)
{
    if (UPNPIGD_IsConnected(&owner.urls, &data)) return true;
    if (data.second.servicetype[0] == '\0') return false;
    std::swap(data.first, data.second);
    owner.Rebuild(data, location);
    if (ControlledAt(owner.urls, location) && UPNPIGD_IsConnected(&owner.urls, &data)) return true;
    std::swap(data.first, data.second);
    owner.Rebuild(data, location);
    return false;
}

// The first <UDN> of a description is the root device's: its embedded devices come after.
void CopyUdn(const char* description, int size, ValidityAnswer& answer)
{
    const auto udn = XmlField(std::string(description, static_cast<std::size_t>(size)), "UDN");
    if (udn && udn->size() < sizeof answer.udn) std::memcpy(answer.udn, udn->c_str(), udn->size() + 1);
}

// As UPNP_GetIGDFromUrl, keeping the description long enough to read its UDN.
ValidityAnswer AskValidity(const std::string& location)
{
    ValidityAnswer answer{};
    UrlsOwner owner;
    char lanAddress[64] = {};
    int size = 0;
    const std::unique_ptr<char, decltype(&std::free)> description(
        static_cast<char*>(miniwget_getaddr(location.c_str(), &size, lanAddress, sizeof lanAddress, 0, nullptr)),
        &std::free);
    if (!description || size <= 0) {
        answer.kind = DeviceKind::NoDescription;
        return answer;
    }
    parserootdesc(description.get(), size, &answer.data);
    CopyUdn(description.get(), size, answer);
    GetUPNPUrls(&owner.urls, &answer.data, location.c_str(), 0);
    answer.kind = !DescribesGateway(answer.data)          ? DeviceKind::NotGateway
                : !ControlledAt(owner.urls, location)     ? DeviceKind::ControlElsewhere
                                                          : DeviceKind::Gateway;
    if (answer.kind != DeviceKind::Gateway) return answer;
    answer.connected = ConnectedService(owner, answer.data, location);
    UPNP_GetExternalIPAddress(owner.urls.controlURL, answer.data.first.servicetype, answer.externalAddress);
    answer.externalAddress[sizeof answer.externalAddress - 1] = '\0';
    return answer;
}

// GetSpecificPortMappingEntry's answer; the library fills buffers of at most 80 bytes.
struct EntryAnswer {
    int code;
    char internalClient[64];
    char internalPort[16];
    char description[128];
    char enabled[8];
    char leaseDuration[32];
};

// GetGenericPortMappingEntry's answer, in the library's buffer sizes.
struct GenericEntryAnswer {
    int code;
    char externalPort[6];
    char internalClient[16];
    char internalPort[6];
    char protocol[4];
    char description[80];
    char enabled[6];
    char remoteHost[64];
    char leaseDuration[16];
};

// Past the last entry of the gateway's list: 713, or 714 (kNoSuchEntryInArray) from some gateways.
constexpr int kArrayIndexInvalid = 713;


int ToPort(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= 65535 ? static_cast<int>(value) : -1;
}

// The lease in seconds; nothing when the gateway gave none we can read.
std::optional<long long> ToLease(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > INT32_MAX) return std::nullopt;
    return value;
}

// IGD v2 gateways offer version 2 of the connection service; version 1 gateways only 1.
char IgdVersion(const IGDdatas& data)
{
    const std::string_view service = data.first.servicetype;
    return !service.empty() && service.back() == '2' ? '2' : '1';
}

std::string HostOf(const std::string& location)
{
    const auto host = UrlHost(location);
    return host ? ToString(*host) : location;
}

} // namespace

IgdAsked IgdConnection::Ask(const std::string& location, Deadline deadline)
{
    return {location, RunBoundedFor<ValidityAnswer>([location] { return AskValidity(location); }, deadline)};
}

bool IgdConnection::Usable(const IgdAsked& asked)
{
    const auto& answer = asked.answer;
    return answer && answer->kind == DeviceKind::Gateway &&
           JudgeGateway(answer->connected, answer->externalAddress) == GatewayVerdict::Usable;
}

IgdOpening IgdConnection::Open(const std::string& location, Deadline deadline) { return Open(Ask(location, deadline)); }

IgdOpening IgdConnection::Open(const IgdAsked& asked)
{
    const std::string& location = asked.location;
    const auto& answer = asked.answer;
    const auto fails = [](const std::string& detail, Told headline) {
        GatewayLog(detail);
        return IgdOpening{nullptr, std::move(headline), nullptr};
    };
    if (!answer) return fails("no answer from the device at " + location + " in time", headline::TooSlow());
    if (answer->kind == DeviceKind::NoDescription)
        return fails("no device description could be read from " + location, headline::UpnpUnusable());
    if (answer->kind == DeviceKind::NotGateway)
        return fails("the device at " + location + " is no Internet router", headline::UpnpUnusable());
    if (answer->kind == DeviceKind::ControlElsewhere)
        return fails("the router at " + location + " names another host for its control URL; not followed",
                     headline::UpnpUnusable());
    const std::string externalAddress = answer->externalAddress;
    const GatewayVerdict verdict = JudgeGateway(answer->connected, externalAddress);
    if (verdict != GatewayVerdict::Usable) {
        Tell(DescribeVerdict(verdict, HostOf(location), externalAddress));
        if (verdict == GatewayVerdict::NotConnected) return IgdOpening{nullptr, headline::NotConnected(), nullptr};
        return IgdOpening{nullptr, headline::BehindAnotherNat(ParseIpv4(externalAddress)),
                          std::unique_ptr<IgdConnection>(new IgdConnection(answer->data, location, externalAddress))};
    }
    Tell(sentence::UpnpAnswered,
         {{"gateway", HostOf(location)}, {"version", std::string(1, IgdVersion(answer->data))}, {"address", externalAddress}});
    return IgdOpening{std::unique_ptr<IgdConnection>(new IgdConnection(answer->data, location, externalAddress)), std::nullopt,
                      nullptr};
}

IgdConnection::IgdConnection(const IGDdatas& data, const std::string& location, std::string externalAddress)
    : data_(data), location_(location), externalAddress_(std::move(externalAddress))
{
    GetUPNPUrls(&urls_, &data_, location.c_str(), 0);
}

IgdConnection::~IgdConnection() { FreeUPNPUrls(&urls_); }

int IgdConnection::AddPortMapping(const MappingRequest& request, long leaseSeconds, Deadline deadline) const
{
    const auto code = RunBoundedFor<int>(
        [this, request, leaseSeconds] {
            return UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype,
                                       std::to_string(request.externalPort).c_str(),
                                       std::to_string(request.internalPort).c_str(), request.internalClient.c_str(),
                                       request.description.c_str(), std::string(Name(request.protocol)).c_str(), nullptr,
                                       std::to_string(leaseSeconds).c_str());
        },
        deadline);
    return code ? *code : kNoAnswerInTime;
}

int IgdConnection::DeletePortMapping(int externalPort, Protocol protocol, Deadline deadline) const
{
    const auto code = RunBoundedFor<int>(
        [this, externalPort, protocol] {
            return UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype,
                                          std::to_string(externalPort).c_str(), std::string(Name(protocol)).c_str(),
                                          nullptr);
        },
        deadline);
    return code ? *code : kNoAnswerInTime;
}

IgdConnection::Listing IgdConnection::ListMappings(Deadline end, std::chrono::milliseconds eachCall) const
{
    // A gateway holds a few dozen at most; past this it is not answering sensibly.
    constexpr int kMostEntries = 1024;
    Listing listing;
    for (int index = 0; index < kMostEntries; ++index) {
        const auto answer = RunBoundedFor<GenericEntryAnswer>(
            [this, index] {
                GenericEntryAnswer entry{};
                entry.code = UPNP_GetGenericPortMappingEntry(
                    urls_.controlURL, data_.first.servicetype, std::to_string(index).c_str(), entry.externalPort,
                    entry.internalClient, entry.internalPort, entry.protocol, entry.description, entry.enabled,
                    entry.remoteHost, entry.leaseDuration);
                return entry;
            },
            Earlier(Clock::now() + eachCall, end));
        if (!answer) {
            listing.code = kNoAnswerInTime;
            return listing;
        }
        if (answer->code == kArrayIndexInvalid || answer->code == kNoSuchEntryInArray) return listing;
        if (answer->code != 0) {
            listing.code = answer->code;
            return listing;
        }
        const auto protocol = Parse<Protocol>(answer->protocol);
        if (!protocol) continue;
        HeldMapping held;
        held.externalAddress = externalAddress_;
        held.externalPort = ToPort(answer->externalPort);
        held.protocol = *protocol;
        held.internalPort = ToPort(answer->internalPort);
        held.internalClient = answer->internalClient;
        held.enabled = std::strcmp(answer->enabled, "1") == 0;
        held.description = answer->description;
        held.lease = ToLease(answer->leaseDuration);
        listing.mappings.push_back(std::move(held));
    }
    return listing;
}

MappingReadBack IgdConnection::ReadMapping(int externalPort, Protocol protocol, Deadline deadline) const
{
    const auto answer = RunBoundedFor<EntryAnswer>(
        [this, externalPort, protocol] {
            EntryAnswer entry{};
            entry.code = UPNP_GetSpecificPortMappingEntry(
                urls_.controlURL, data_.first.servicetype, std::to_string(externalPort).c_str(),
                std::string(Name(protocol)).c_str(),
                nullptr, entry.internalClient, entry.internalPort, entry.description, entry.enabled,
                entry.leaseDuration);
            return entry;
        },
        deadline);
    if (!answer) return MappingReadBack{kNoAnswerInTime, {}};
    if (answer->code != 0) return MappingReadBack{answer->code, {}};
    MappingReadBack result;
    result.mapping.externalAddress = externalAddress_;
    result.mapping.externalPort = externalPort;
    result.mapping.protocol = protocol;
    result.mapping.internalPort = ToPort(answer->internalPort);
    result.mapping.internalClient = answer->internalClient;
    result.mapping.enabled = std::strcmp(answer->enabled, "1") == 0;
    result.mapping.description = answer->description;
    result.mapping.lease = ToLease(answer->leaseDuration);
    return result;
}

} // namespace gateway
