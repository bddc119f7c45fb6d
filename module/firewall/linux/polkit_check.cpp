#include "firewall/linux/polkit_check.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "firewall/linux/firewalld/firewalld_answer.h"

namespace firewall {
namespace {

const BusMethod kCheckAuthorization{"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                    "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization"};
constexpr unsigned kAllowUserInteraction = 1;

// polkit's details say "polkit.dismissed" when the user closed the prompt.
bool PromptDismissed(sd_bus_message* message)
{
    if (sd_bus_message_enter_container(message, 'a', "{ss}") <= 0) return false;
    const char* key = nullptr;
    const char* value = nullptr;
    while (sd_bus_message_read(message, "{ss}", &key, &value) > 0)
        if (std::strcmp(key, "polkit.dismissed") == 0) return true;
    return false;
}

} // namespace

Status AskPolkit(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline,
                 Authorization& answer)
{
    const std::chrono::milliseconds left{MillisecondsLeft(deadline)};
    if (left.count() == 0) {
        ReportProblem(std::string("polkit ") + action + ": no time left");
        return Status::TimedOut;
    }
    const std::string us = bus.UniqueName();
    const unsigned flags = interaction == Interaction::Allowed ? kAllowUserInteraction : 0;
    const BusReply reply = bus.Call(kCheckAuthorization, left, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                                    us.c_str(), action, 0, flags, "");
    if (reply.result < 0 && ServiceMissing(reply.errorName)) {
        answer = ::geteuid() == 0 ? Authorization::Yes : Authorization::No;
        return Status::Ok;
    }
    const Status status =
        FirewalldAnswerStatus(reply.result, reply.errorName, reply.errorMessage, AlreadyDone::IsFailure);
    if (status != Status::Ok) {
        ReportProblem(std::string("polkit ") + action + ": " + reply.errorMessage);
        return status;
    }
    bool authorized = false;
    bool challenge = false;
    sd_bus_message* message = reply.message.get();
    if (sd_bus_message_enter_container(message, 'r', "bba{ss}") <= 0 || !ReadBoolean(message, authorized) ||
        !ReadBoolean(message, challenge)) {
        ReportProblem(std::string("polkit ") + action + ": unexpected reply");
        return Status::Failed;
    }
    const bool dismissed = !authorized && PromptDismissed(message);
    if (authorized)
        answer = Authorization::Yes;
    else if (dismissed)
        answer = Authorization::PromptClosed;
    else if (challenge)
        // Still a question after we let it be asked: no agent could ask it.
        answer = interaction == Interaction::Allowed ? Authorization::NotGiven : Authorization::NeedsPassword;
    else
        answer = Authorization::No;
    return Status::Ok;
}

Status PolkitAllows(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline)
{
    Authorization answer = Authorization::No;
    const Status status = AskPolkit(bus, action, interaction, deadline, answer);
    if (status != Status::Ok) return status;
    if (answer == Authorization::Yes || answer == Authorization::NeedsPassword) return Status::Ok;
    ReportProblem(std::string("not authorized for ") + action);
    return Status::AccessDenied;
}

} // namespace firewall
