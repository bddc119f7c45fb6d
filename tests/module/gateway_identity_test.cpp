// What tells one gateway from another at the same address: its link-layer address from
// the kernel's neighbour table, and its device's UDN from its SSDP answer.
#include <gtest/gtest.h>

#include "gateway/host/link_address.h"
#include "gateway/upnp/device_on_link.h"
#include "sample_forwards.h"
#include "scratch_folder.h"

namespace gateway {
namespace {

TEST(GatewayIdentity, LinkAddressOnlyFromACompleteEntry)
{
    const ScratchFolder scratch;
    const std::string path = scratch.path / "arp";
    std::ofstream(path) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                           "10.77.0.1        0x1         0x2         02:00:0a:4d:00:01     *        lan0\n"
                           "10.77.0.3        0x1         0x0         00:00:00:00:00:00     *        lan0\n"
                           "10.77.0.10       0x1         0x6         02:00:0a:4d:00:0a     *        lan0\n";
    const std::pair<const char*, std::string> cases[] = {
        {"10.77.0.1", "02:00:0a:4d:00:01"}, {"10.77.0.3", ""}, {"10.77.0.10", "02:00:0a:4d:00:0a"}, {"10.77.0.9", ""}};
    for (const auto& [host, link] : cases) EXPECT_EQ(host::LinkAddressOf(*ParseIpv4(host), path), link) << host;
}

// The device that answered at the recorded address made the entry: by its UDN where both
// know one, else by a link-layer address both know; one not known matches nothing.
TEST(GatewayIdentity, MadeOnTheDeviceThatAnsweredOnlyByWhatBothKnow)
{
    const std::string link = kHome.linkAddress, udn = kHome.udn, at = kHome.address;
    const struct {
        const char* name;
        RecordedForward entry;
        gateway::Identity answered;
        bool made;
    } rows[] = {
        {"UPnP, its UDN", Entry(8080), {udn, at, ""}, true},
        {"UPnP, no UDN learnt: its link", Entry(8080), {"", at, link}, true},
        {"PCP, the neighbour table flushed", Entry(8080, Method::Pcp), {"", at, ""}, false},
        {"PCP, another link", Entry(8080, Method::Pcp), {"", at, "02:00:00:00:00:99"}, false},
        {"PCP, recorded without its link",
         [] { auto f = Entry(8080, Method::Pcp); f.grant.gateway.linkAddress.clear(); return f; }(), {"", at, link}, false},
        {"NAT-PMP, another address", Entry(8080, Method::NatPmp), {"", "10.0.0.1", link}, false},
    };
    for (const auto& row : rows) EXPECT_EQ(MadeOnDevice(row.entry, row.answered), row.made) << row.name;
}

// Asked on the link by its UDN, only the device itself is taken: not another whose UDN
// starts alike, not a search (ours, looped back), not an answer without a UDN.
TEST(GatewayIdentity, OnTheLinkOnlyTheDeviceAskedFor)
{
    const std::string asked = "uuid:5c1d0e2a-7b3f";
    const auto answer = [](const std::string& usn) {
        return "HTTP/1.1 200 OK\r\nST: uuid:5c1d0e2a-7b3f\r\nLOCATION: http://[2001:db8:77::1]:5000/rootDesc.xml\r\n"
               "USN: " + usn + "\r\n\r\n";
    };
    const std::pair<std::string, bool> cases[] = {
        {answer(asked), true},
        {answer(asked + "::urn:schemas-upnp-org:device:InternetGatewayDevice:2"), true},
        {answer(asked + "0"), false},
        {"M-SEARCH * HTTP/1.1\r\nST: uuid:5c1d0e2a-7b3f\r\nLOCATION: http://[2001:db8:77::1]:5000/rootDesc.xml\r\n"
         "USN: uuid:5c1d0e2a-7b3f\r\n\r\n", false},
    };
    for (const auto& [datagram, taken] : cases) EXPECT_EQ(AnswersAsDevice(datagram, asked), taken) << datagram;
    EXPECT_FALSE(AnswersAsDevice(answer(""), ""));
}

} // namespace
} // namespace gateway
