#include "dispatch/module_run.h"

#include "addresses/internal_ips.h"
#include "dispatch/sentences.h"
#include "tell.h"
#include "exchange/result_file.h"
#include "forward/forward_command.h"
#include "record/lasting_commands.h"

int RunModule()
{
    // Listed first on every run, whatever the command turns out to be.
    const std::vector<std::wstring> addresses = GetInternalIPs();
    const std::optional<std::vector<std::wstring>> commandLines = readCommandLines();
    if (!commandLines) {
        writeResultText("1");
        return 0;
    }
    const std::wstring& command = commandLines->front();
    if (command == L"getips")
        writeResultLines(addresses);
    else if (command == L"kavro")
        RunForwardCommand(*commandLines, addresses);
    else if (command == L"renew")
        RunRenewCommand(addresses);
    else if (command == L"list")
        RunListCommand(addresses);
    else if (command == L"close")
        RunCloseCommand(*commandLines, addresses);
    return 0;
}

void PrintUsage() { Tell(dispatch::sentence::Usage); }
