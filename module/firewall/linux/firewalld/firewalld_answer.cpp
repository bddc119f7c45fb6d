#include "firewall/linux/firewalld/firewalld_answer.h"

#include <cerrno>

namespace firewall {

Status FirewalldAnswerStatus(int result, const std::string& errorName, const std::string& errorMessage,
                             AlreadyDone already)
{
    if (result >= 0) return Status::Ok;
    if (errorName == "org.fedoraproject.FirewallD1.NotAuthorizedException" ||
        errorName == "org.freedesktop.DBus.Error.AccessDenied")
        return Status::AccessDenied;
    if (result == -ETIMEDOUT || errorName == "org.freedesktop.DBus.Error.Timeout" ||
        errorName == "org.freedesktop.DBus.Error.NoReply")
        return Status::TimedOut;
    if (already == AlreadyDone::IsSuccess && errorName == "org.fedoraproject.FirewallD1.Exception" &&
        (errorMessage.rfind("ALREADY_ENABLED", 0) == 0 || errorMessage.rfind("NOT_ENABLED", 0) == 0))
        return Status::Ok;
    return Status::Failed;
}

bool ServiceMissing(const std::string& errorName)
{
    return errorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           errorName == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

} // namespace firewall
