// kavro-ufw-allow PORT tcp|udp [NAME] | delete PORT tcp|udp: run as root by pkexec for
// a user whom polkit lets open a port; opens it exactly as Kavro does as root (an
// administrator's deny stands), or deletes the rule only when it is under the tool's
// own name, and refuses everything else.
#include <cstdio>
#include <string>
#include <vector>

#include "process_runner.h"
#include "ufw/ufw_helper.h"
#include "ufw/ufw_manager.h"

int main(int argc, char* argv[])
{
    using namespace firewall;
    const auto request = ReadHelperArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!request) {
        std::fprintf(stderr,
                     "%s: refused: expected PORT (1-65535) tcp|udp [NAME ufw takes as it is], or delete PORT tcp|udp\n",
                     kUfwHelperName);
        return 2;
    }
    UfwManager ufw(UfwFiles{}, RunProcess, RunDeadline());
    const Status status = request->remove ? ufw.ClosePort(request->port, request->protocol)
                                          : ufw.OpenPort(request->port, request->protocol, request->name);
    return status == Status::Ok ? 0 : 1;
}
