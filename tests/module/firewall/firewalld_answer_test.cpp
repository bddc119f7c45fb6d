// Errors as firewalld 1.3 and the bus answer them.
#include <gtest/gtest.h>

#include <cerrno>

#include "firewalld_answer.h"

namespace firewall {
namespace {

TEST(FirewalldAnswer, ErrorsMapToStatuses)
{
    struct Case {
        int result;
        const char* name;
        const char* message;
        AlreadyDone already;
        Status status;
    };
    const char* const exception = "org.fedoraproject.FirewallD1.Exception";
    const Case cases[] = {
        {1, "", "", AlreadyDone::IsFailure, Status::Ok},
        {-EACCES, "org.fedoraproject.FirewallD1.NotAuthorizedException",
         "Not Authorized(polkit): org.fedoraproject.FirewallD1.config", AlreadyDone::IsSuccess, Status::AccessDenied},
        {-EACCES, "org.freedesktop.DBus.Error.AccessDenied", "Rejected send message", AlreadyDone::IsFailure,
         Status::AccessDenied},
        {-EIO, exception, "ALREADY_ENABLED: '8080:tcp' already in 'public'", AlreadyDone::IsSuccess, Status::Ok},
        {-EIO, exception, "ALREADY_ENABLED: 8080:tcp", AlreadyDone::IsFailure, Status::Failed},
        {-EIO, exception, "INVALID_PORT: 0", AlreadyDone::IsSuccess, Status::Failed},
        {-EIO, "org.freedesktop.DBus.Error.UnknownMethod", "ALREADY_ENABLED", AlreadyDone::IsSuccess, Status::Failed},
        {-ETIMEDOUT, "", "", AlreadyDone::IsFailure, Status::TimedOut},
        {-EIO, "org.freedesktop.DBus.Error.Timeout", "Connection timed out", AlreadyDone::IsSuccess, Status::TimedOut},
        {-EIO, "org.freedesktop.DBus.Error.NoReply", "", AlreadyDone::IsFailure, Status::TimedOut},
        {-EHOSTUNREACH, "org.freedesktop.DBus.Error.ServiceUnknown", "", AlreadyDone::IsFailure, Status::Failed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirewalldAnswerStatus(c.result, c.name, c.message, c.already), c.status) << c.name << " " << c.message;
}

TEST(FirewalldAnswer, MissingServiceIsToldApart)
{
    EXPECT_TRUE(ServiceMissing("org.freedesktop.DBus.Error.ServiceUnknown"));
    EXPECT_TRUE(ServiceMissing("org.freedesktop.DBus.Error.NameHasNoOwner"));
    EXPECT_FALSE(ServiceMissing("org.freedesktop.DBus.Error.AccessDenied"));
}

} // namespace
} // namespace firewall
