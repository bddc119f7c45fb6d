#include "gateway_test_support.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>

const char* const kRouteTableTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT";

StderrCapture::StderrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}

StderrCapture::~StderrCapture() { std::cerr.rdbuf(previous_); }

std::string RouteLine(const std::string& interface, gateway::Ipv4 destination, gateway::Ipv4 via, unsigned flags,
                      unsigned metric, gateway::Ipv4 mask)
{
    char line[160];
    // As the kernel prints them: the network-order word in host-order hex.
    std::snprintf(line, sizeof line, "%s\t%08X\t%08X\t%04X\t0\t0\t%u\t%08X\t0\t0\t0", interface.c_str(),
                  htonl(destination.value), htonl(via.value), flags, metric, htonl(mask.value));
    return line;
}

RouteTableFile::RouteTableFile(gateway::Ipv4 defaultGateway)
{
    char path[] = "/tmp/kavro-route-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("mkstemp");
    close(fd);
    path_ = path;
    std::ofstream table(path_);
    table << kRouteTableTitles << "\n";
    table << RouteLine("lo", {}, defaultGateway, 0x3, 0, {}) << "\n";
}

RouteTableFile::~RouteTableFile() { std::remove(path_.c_str()); }
