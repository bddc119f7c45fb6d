#include "polkit_check.h"

#include <unistd.h>

#include <string>

#include "firewalld/firewalld_answer.h"

namespace firewall {
namespace {

const BusMethod kCheckAuthorization{"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                    "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization"};
constexpr unsigned kAllowUserInteraction = 1;

} // namespace

Status PolkitAllows(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline)
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
    if (reply.result < 0 && ServiceMissing(reply.errorName)) return ::geteuid() == 0 ? Status::Ok : Status::AccessDenied;
    const Status status = FirewalldAnswerStatus(reply.result, reply.errorName, reply.errorMessage, AlreadyDone::IsFailure);
    if (status != Status::Ok) {
        ReportProblem(std::string("polkit ") + action + ": " + reply.errorMessage);
        return status;
    }
    bool authorized = false;
    bool challenge = false;
    if (sd_bus_message_enter_container(reply.message.get(), 'r', "bba{ss}") <= 0 ||
        !ReadBoolean(reply.message.get(), authorized) || !ReadBoolean(reply.message.get(), challenge)) {
        ReportProblem(std::string("polkit ") + action + ": unexpected reply");
        return Status::Failed;
    }
    if (authorized || (challenge && interaction == Interaction::None)) return Status::Ok;
    ReportProblem(std::string("not authorized for ") + action);
    return Status::AccessDenied;
}

} // namespace firewall
