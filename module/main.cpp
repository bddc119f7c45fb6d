// Kavro: carries out the one command of kavro.cmd and leaves its answer in log.txt.
#include <cstdio>
#include <cstdlib>

#include "dispatch/module_run.h"
#include "platform/left_behind.h"

#ifdef _WIN32
#include "firewall/windows/firewall_over_ipv6_windows.h"
#include "platform/closed_over_ipv6.h"
#else
#include "platform/platform_classes.h"
#endif

int main(int argc, char*[])
{
    // It takes no arguments. Given any, it only says how it is used: a kavro.cmd left
    // beside someone trying "Kavro --help" must not be carried out.
    if (argc > 1) {
        PrintUsage();
        return 2;
    }
    // Every outcome leaves as a line of the result file, never as an exit status.
    try {
#ifdef _WIN32
        SetIpv6Rules({OpenFirewallOverIpv6, nullptr, nullptr});
#else
        RegisterPlatformClasses();
#endif
        RunModule();
    } catch (...) {
    }
    // The result is written; what a call left running may still use must stay as it is.
    if (WorkLeftBehind()) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}
