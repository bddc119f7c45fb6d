// Small helpers of the gateway tests: standard error captured, a route table naming a
// chosen default gateway, loopback as a LAN, and a stopwatch.
#pragma once

#include <chrono>
#include <sstream>
#include <string>

#include "platform/linux/gateway/ipv4_address.h"
#include "platform/linux/gateway/local_network.h"

// Collects what is written to std::cerr while it lives.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string Text() const { return captured_.str(); }

private:
    std::ostringstream captured_;
    std::streambuf* previous_;
};

// A file in the layout of /proc/net/route with a default route through
// `defaultGateway`, removed with the object.
class RouteTableFile {
public:
    explicit RouteTableFile(gateway::Ipv4 defaultGateway);
    ~RouteTableFile();
    RouteTableFile(const RouteTableFile&) = delete;
    RouteTableFile& operator=(const RouteTableFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The table's line for a route to `destination`/`mask` through `via`.
std::string RouteLine(const std::string& interface, gateway::Ipv4 destination, gateway::Ipv4 via, unsigned flags,
                      unsigned metric, gateway::Ipv4 mask);
extern const char* const kRouteTableTitles;

class Stopwatch {
public:
    long Milliseconds() const
    {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

inline gateway::Ipv4 Ip(const char* text) { return *gateway::ParseIpv4(text); }

// Loopback taken for the LAN, where the fakes on 127.0.0.x stand for its devices.
inline gateway::LocalNetwork LoopbackAsLan() { return {{{Ip("127.0.0.0"), Ip("255.0.0.0")}}, {}}; }
