#include "fake_ssdp_responder.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <stdexcept>

// As miniupnpd 2.3.1 answered the lab's client, header for header.
std::string GatewayAnswer(const std::string& location, const std::string& searchTarget)
{
    return "HTTP/1.1 200 OK\r\n"
           "CACHE-CONTROL: max-age=120\r\n"
           "ST: " + searchTarget + "\r\n"
           "USN: uuid:5c1d0e2a-7b3f-4e8d-a6c9-0f1e2d3c4b5a::" + searchTarget + "\r\n"
           "EXT:\r\n"
           "SERVER: Debian/6.18.44-fc-v1272 UPnP/1.1 MiniUPnPd/2.3.1\r\n"
           "LOCATION: " + location + "\r\n"
           "OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01\r\n"
           "01-NLS: 1796585916\r\n"
           "BOOTID.UPNP.ORG: 1796585916\r\n"
           "CONFIGID.UPNP.ORG: 1337\r\n"
           "\r\n";
}

FakeSsdpResponder::FakeSsdpResponder(gateway::Ipv4 address, std::uint16_t port, std::string answer,
                                     std::chrono::milliseconds delay)
    : socket_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), answer_(std::move(answer)), delay_(delay)
{
    sockaddr_in bound = gateway::SocketAddress(address, port);
    socklen_t size = sizeof bound;
    if (!socket_ || bind(socket_.get(), reinterpret_cast<sockaddr*>(&bound), size) != 0 ||
        getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&bound), &size) != 0)
        throw std::runtime_error("cannot bind the SSDP responder");
    port_ = ntohs(bound.sin_port);
    thread_.Start([this] { Serve(); });
}

std::vector<std::string> FakeSsdpResponder::Searches() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return searches_;
}

void FakeSsdpResponder::Serve()
{
    std::array<char, 2048> datagram;
    while (WaitReadable(socket_.get(), thread_.StopFd())) {
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t length =
            recvfrom(socket_.get(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (length < 0) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            searches_.emplace_back(datagram.data(), static_cast<std::size_t>(length));
        }
        if (answer_.empty()) continue;
        if (!PauseUnlessStopped(thread_.StopFd(), static_cast<int>(delay_.count()))) return;
        sendto(socket_.get(), answer_.data(), answer_.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
    }
}
