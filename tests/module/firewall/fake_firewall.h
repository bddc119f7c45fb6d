// Stand-ins for the firewall tests: a firewall manager whose answers the test sets,
// logging what it is asked, and the outcome of a ufw run.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "firewall_manager.h"
#include "net_fw_mgr.h"
#include "process_runner.h"

namespace firewall {

struct FakeFirewall {
    Status openProfile = Status::Ok;
    bool enabled = true;
    Status openPort = Status::Ok;
    std::map<std::pair<int, Protocol>, std::string> open;  // port, protocol -> name
    std::vector<std::string> calls;                          // "find 8080/tcp", "open 8080/udp 'name'"

    // Makes a manager on this state for each profile asked for.
    ManagerFactory Factory();
};

// A program that exited with `code` after writing `output`.
ProcessOutcome Exited(int code, std::string output);

} // namespace firewall
