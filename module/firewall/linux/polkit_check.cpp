#include "firewall/linux/polkit_check.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "firewall/linux/firewalld/firewalld_answer.h"
#include "firewall/sentences.h"

namespace firewall {
namespace {

const BusMethod kCheckAuthorization{"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                    "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization"};
const BusMethod kCancelCheckAuthorization{"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                          "org.freedesktop.PolicyKit1.Authority", "CancelCheckAuthorization"};
constexpr unsigned kAllowUserInteraction = 1;
// What a withdrawn question may take, within the run's deadline.
constexpr std::chrono::seconds kWithdrawTime{1};

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

Status Ask(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline,
           const std::string& cancellation, Authorization& answer)
{
    const std::chrono::milliseconds left{MillisecondsLeft(deadline)};
    if (left.count() == 0) {
        ReportProblem(std::string("polkit ") + action + ": no time left");
        return Status::TimedOut;
    }
    const std::string us = bus.UniqueName();
    const unsigned flags = interaction == Interaction::Allowed ? kAllowUserInteraction : 0;
    const BusReply reply = bus.Call(kCheckAuthorization, left, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                                    us.c_str(), action, 0, flags, cancellation.c_str());
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

} // namespace

Status AskPolkit(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline,
                 Authorization& answer)
{
    return Ask(bus, action, interaction, deadline, "", answer);
}

Status AskPolkitWithPrompt(SystemBus& bus, const char* action, Authorization& answer)
{
    if (!PasswordTimeLeft()) {
        ReportProblem(std::string("polkit ") + action + ": no time left for a password");
        return Status::TimedOut;
    }
    const std::string cancellation = "kavro-" + std::to_string(::getpid());
    Tell(sentence::PasswordAsked);
    Status status = Status::Ok;
    {
        const PasswordPause pause;
        status = Ask(bus, action, Interaction::Allowed, pause.End(), cancellation, answer);
    }
    if (status != Status::TimedOut) return status;
    // Withdrawn, so that no prompt stays up with nobody waiting for its answer.
    const std::chrono::milliseconds left{MillisecondsLeft(Earlier(RunDeadline(), Clock::now() + kWithdrawTime))};
    const BusReply reply = bus.Call(kCancelCheckAuthorization, left, "s", cancellation.c_str());
    if (reply.result < 0) ReportProblem(std::string("polkit ") + action + ": not withdrawn: " + reply.errorMessage);
    return status;
}

Status PolkitAllows(SystemBus& bus, const char* action, Deadline deadline, bool& asksPassword)
{
    Authorization answer = Authorization::No;
    const Status status = AskPolkit(bus, action, Interaction::None, deadline, answer);
    if (status != Status::Ok) return status;
    asksPassword = answer == Authorization::NeedsPassword;
    if (answer == Authorization::Yes || asksPassword) return Status::Ok;
    ReportProblem(std::string("not authorized for ") + action);
    return Status::AccessDenied;
}

} // namespace firewall
