#include "igd_connection.h"

#include <miniupnpc/upnpcommands.h>

#include <cstdlib>
#include <cstring>

#include "bounded_call.h"
#include "gateway_log.h"
#include "gateway_verdict.h"
#include "upnp_errors.h"

#if MINIUPNPC_API_VERSION < 17
#error "libminiupnpc API 17 (2.2) or later is needed"
#endif

namespace gateway {
namespace {

enum class DeviceKind { NoDescription, NotGateway, Gateway };

// What the child learns about the device; plain bytes, so it can cross the pipe.
struct ValidityAnswer {
    DeviceKind kind;
    bool connected;
    IGDdatas data;
    char externalAddress[64];
};

struct DeviceListDeleter {
    void operator()(UPNPDev* devices) const { freeUPNPDevlist(devices); }
};
using DeviceList = std::unique_ptr<UPNPDev, DeviceListDeleter>;

// A device list of one, as the library's own search would have made it: the texts
// live in the node's trailing buffer, and freeUPNPDevlist frees the node.
DeviceList OneDevice(const std::string& location)
{
    const char* kind = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
    const std::size_t kindSize = std::strlen(kind) + 1;
    auto* device = static_cast<UPNPDev*>(std::calloc(1, sizeof(UPNPDev) + location.size() + 1 + kindSize + 1));
    if (device == nullptr) return nullptr;
    char* text = device->buffer;
    device->descURL = std::strcpy(text, location.c_str());
    device->st = std::strcpy(text + location.size() + 1, kind);
    device->usn = text + location.size() + 1 + kindSize; // empty
    return DeviceList(device);
}

struct UrlsOwner {
    UPNPUrls urls{};
    ~UrlsOwner() { FreeUPNPUrls(&urls); }
};

ValidityAnswer AskValidity(const std::string& location)
{
    ValidityAnswer answer{};
    const DeviceList device = OneDevice(location);
    if (!device) return answer;
    UrlsOwner owner;
    char lanAddress[64] = {};
#if MINIUPNPC_API_VERSION >= 18
    const int found = UPNP_GetValidIGD(device.get(), &owner.urls, &answer.data, lanAddress, sizeof lanAddress,
                                       answer.externalAddress, sizeof answer.externalAddress);
    answer.kind = found == UPNP_NO_IGD ? DeviceKind::NoDescription
                : found == UPNP_UNKNOWN_DEVICE ? DeviceKind::NotGateway
                                               : DeviceKind::Gateway;
    answer.connected = found == UPNP_CONNECTED_IGD || found == UPNP_PRIVATEIP_IGD;
#else
    // 1: connected, 2: a gateway that is not, 3: some other device.
    const int found = UPNP_GetValidIGD(device.get(), &owner.urls, &answer.data, lanAddress, sizeof lanAddress);
    answer.kind = found <= 0 ? DeviceKind::NoDescription : found == 3 ? DeviceKind::NotGateway : DeviceKind::Gateway;
    answer.connected = found == 1;
    if (answer.kind == DeviceKind::Gateway)
        UPNP_GetExternalIPAddress(owner.urls.controlURL, answer.data.first.servicetype, answer.externalAddress);
#endif
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

int ToPort(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= 65535 ? static_cast<int>(value) : -1;
}

} // namespace

std::unique_ptr<IgdConnection> IgdConnection::Open(const std::string& location, Deadline deadline)
{
    const auto answer = RunBoundedFor<ValidityAnswer>([&location] { return AskValidity(location); }, deadline);
    if (!answer) {
        GatewayLog("the device at " + location + " did not answer in time");
        return nullptr;
    }
    if (answer->kind == DeviceKind::NoDescription) {
        GatewayLog("no device description could be read from " + location);
        return nullptr;
    }
    if (answer->kind == DeviceKind::NotGateway) {
        GatewayLog("the device at " + location + " is no Internet gateway");
        return nullptr;
    }
    const std::string externalAddress = answer->externalAddress;
    const GatewayVerdict verdict = JudgeGateway(answer->connected, externalAddress);
    if (verdict != GatewayVerdict::Usable) {
        GatewayLog("the gateway at " + location + " " + DescribeVerdict(verdict, externalAddress));
        return nullptr;
    }
    return std::unique_ptr<IgdConnection>(new IgdConnection(answer->data, location, externalAddress));
}

IgdConnection::IgdConnection(const IGDdatas& data, const std::string& location, std::string externalAddress)
    : data_(data), externalAddress_(std::move(externalAddress))
{
    GetUPNPUrls(&urls_, &data_, location.c_str(), 0);
}

IgdConnection::~IgdConnection() { FreeUPNPUrls(&urls_); }

int IgdConnection::AddPortMapping(const MappingRequest& request, Deadline deadline) const
{
    const auto code = RunBoundedFor<int>(
        [this, &request] {
            // Lease 0: a static mapping, as the Windows service makes them.
            return UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype,
                                       std::to_string(request.externalPort).c_str(),
                                       std::to_string(request.internalPort).c_str(), request.internalClient.c_str(),
                                       request.description.c_str(), request.protocol.c_str(), nullptr, "0");
        },
        deadline);
    return code ? *code : kNoAnswerInTime;
}

MappingReadBack IgdConnection::ReadMapping(int externalPort, const std::string& protocol, Deadline deadline) const
{
    const auto answer = RunBoundedFor<EntryAnswer>(
        [this, externalPort, &protocol] {
            EntryAnswer entry{};
            entry.code = UPNP_GetSpecificPortMappingEntry(
                urls_.controlURL, data_.first.servicetype, std::to_string(externalPort).c_str(), protocol.c_str(),
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
    return result;
}

} // namespace gateway
