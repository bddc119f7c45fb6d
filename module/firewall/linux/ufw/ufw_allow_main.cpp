// kavro-ufw-allow PORT tcp|udp ipv4|ipv6 [NAME] | delete PORT tcp|udp ipv4|ipv6: run as root by pkexec for
// a user whom polkit lets open a port; opens it exactly as Kavro does as root (every
// rule already there stays as it is), or deletes the rule only when it is under the
// tool's own name; refuses everything else, and answers by its exit status alone.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "firewall/linux/process_runner.h"
#include "firewall/linux/ufw/ufw_command.h"
#include "firewall/linux/ufw/ufw_helper.h"
#include "firewall/linux/ufw/ufw_manager.h"

namespace {

// Whoever runs us reads nothing of the root-only rules, nor what ufw says of them.
bool Silenced()
{
    const int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool done = nothing >= 0 && ::dup2(nothing, STDOUT_FILENO) >= 0 && ::dup2(nothing, STDERR_FILENO) >= 0;
    if (nothing > STDERR_FILENO) ::close(nothing);
    return done;
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace firewall;
    const auto request = ReadHelperArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!request) {
        std::fprintf(stderr,
                     "%s: refused: expected PORT (1-65535) tcp|udp ipv4|ipv6 [NAME ufw takes as it is], or delete PORT "
                     "tcp|udp ipv4|ipv6\n",
                     kUfwHelperName);
        return 2;
    }
    if (!Silenced()) return HelperExitStatus(UfwOutcome::Failed);
    UfwManager ufw(UfwFiles{}, RunProcess, RunDeadline());
    return HelperExitStatus(request->remove ? ufw.Close(request->port, request->protocol, request->family)
                                            : ufw.Open(request->port, request->protocol, CleanUfwName(request->name),
                                                       request->family));
}
