#include "firewall/linux/firewall_headlines.h"

#include "diagnostics.h"

namespace firewall {

void HeadlineNoAnswer()
{
    Headline("This machine's firewall did not answer in time, so it could not be checked. Try again in a minute; "
             "if this keeps happening, restart the computer.");
}

void HeadlineNotAllowed() { Headline("You are not allowed to change the firewall; ask an administrator."); }

void HeadlinePortRefused(const std::string& manager, int port)
{
    Headline("A rule of " + manager + " on this machine refuses port " + std::to_string(port) +
             ", so it was not let in; that rule stays. Ask an administrator, or try another port.");
}

void HeadlinePortNotOpened(const std::string& manager, int port, bool timedOut)
{
    if (timedOut)
        Headline(manager + " did not answer in time, so port " + std::to_string(port) +
                 " was not let in through this machine's firewall. Try again in a minute; if this keeps happening, "
                 "restart the computer.");
    else
        Headline(manager + " did not let port " + std::to_string(port) +
                 " in through this machine's firewall (the details say why). Ask an administrator to let it in.");
}

} // namespace firewall
