// One gateway device, reached through libminiupnpc: its validity check, AddPortMapping
// and GetSpecificPortMappingEntry. Every call ends by its deadline.
#pragma once

#include <miniupnpc/miniupnpc.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/deadline.h"
#include "gateway/ipv6_address.h"
#include "gateway/port_mapping.h"
#include "gateway/upnp/pinhole.h"
#include "tell.h"

namespace gateway {

class IgdConnection;

enum class DeviceKind { NoDescription, NotGateway, ControlElsewhere, Gateway };

// What a device said when asked whether it is a gateway; plain bytes, so it can cross
// the pipe from the child that asked.
struct ValidityAnswer {
    DeviceKind kind;
    bool connected;
    IGDdatas data;
    char externalAddress[64];
    char udn[128]; // the root device's, from its description
};

// The device at `location` asked, nothing of it told yet; no answer when it gave none in time.
struct IgdAsked {
    std::string location;
    std::optional<ValidityAnswer> answer;
};

struct IgdOpening {
    std::unique_ptr<IgdConnection> connection;
    std::optional<Told> headline; // when there is none: why, for the user
    // When there is none only because the device cannot give out IPv4 ports the Internet
    // reaches (no public IPv4 address): the device, whose IPv6 firewall may still open.
    std::unique_ptr<IgdConnection> ipv6Only;
};

struct MappingReadBack {
    int code = 0; // 0, or why the gateway did not answer with the mapping
    HeldMapping mapping;
};

class IgdConnection {
public:
    // Fetches the description at `location` and checks that the device is a gateway
    // that can give out ports the Internet reaches; no connection, with the reason on
    // standard error and as a headline to give, when it cannot.
    static IgdOpening Open(const std::string& location, Deadline deadline);
    // The same in two steps: the device asked (on any thread, nothing told), then judged.
    static IgdAsked Ask(const std::string& location, Deadline deadline);
    static IgdOpening Open(const IgdAsked& asked);
    // Whether Open would give a connection, telling nothing.
    static bool Usable(const IgdAsked& asked);

    ~IgdConnection();
    IgdConnection(const IgdConnection&) = delete;
    IgdConnection& operator=(const IgdConnection&) = delete;

    // 0, or the gateway's refusal as a UPnP or library code. `leaseSeconds` 0: no end.
    int AddPortMapping(const MappingRequest& request, long leaseSeconds, Deadline deadline) const;
    MappingReadBack ReadMapping(int externalPort, Protocol protocol, Deadline deadline) const;
    // 0, or the gateway's refusal.
    int DeletePortMapping(int externalPort, Protocol protocol, Deadline deadline) const;
    // Every mapping the gateway lists, by index until it says there are no more, each
    // call over within `eachCall` and all of them by `end`; code 0 or why the list
    // stopped early (kNoAnswerInTime once `end` came). An entry of another protocol than
    // TCP or UDP is none of ours to show or close, and is left out.
    struct Listing {
        int code = 0;
        std::vector<HeldMapping> mappings;
    };
    Listing ListMappings(Deadline end, std::chrono::milliseconds eachCall) const;

    const std::string& ExternalAddress() const { return externalAddress_; }

    // Whether the device describes an IPv6 firewall control service.
    bool OffersPinholes() const { return data_.IPv6FC.controlurl[0] != '\0' && urls_.controlURL_6FC != nullptr; }

    // Opens `request`'s pinholes through the device's IPv6 firewall control service,
    // asked at `ipv6Gateway`, its address on the LAN's IPv6 side, once that address has been
    // shown to be this same device (upnp/igd_pinholes.cpp).
    PinholeAnswer AddPinholes(const Ipv6& ipv6Gateway, const PinholeRequest& request, Deadline deadline) const;

    // The pinhole `opened` made, by the id the gateway gave it, asked as it was opened:
    // 0, kNoSuchPinhole, or another refusal as a UPnP or library code (kNotThisDevice
    // when `ipv6Gateway` is another device, or does not answer).
    int UpdatePinhole(const Ipv6& ipv6Gateway, const PinholeRequest& opened, const std::string& uniqueId,
                      Deadline deadline) const;
    int DeletePinhole(const Ipv6& ipv6Gateway, const PinholeRequest& opened, const std::string& uniqueId,
                      Deadline deadline) const;

private:
    IgdConnection(const IGDdatas& data, const std::string& location, std::string externalAddress);

    IGDdatas data_;
    std::string location_;
    UPNPUrls urls_{};
    std::string externalAddress_;
};

} // namespace gateway
