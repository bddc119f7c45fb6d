#include "firewalld_manager.h"

#include <unistd.h>

#include <utility>

#include "interface_name.h"
#include "platform/posix/internal_client.h"

namespace firewall {
namespace {

constexpr const char* kPath = "/org/fedoraproject/FirewallD1";
constexpr const char* kConfigPath = "/org/fedoraproject/FirewallD1/config";
constexpr const char* kZoneInterface = "org.fedoraproject.FirewallD1.zone";
constexpr const char* kConfigInterface = "org.fedoraproject.FirewallD1.config";
constexpr const char* kConfigZoneInterface = "org.fedoraproject.FirewallD1.config.zone";
// What firewalld asks polkit before it changes a zone, at runtime or permanently.
constexpr const char* kConfigAction = "org.fedoraproject.FirewallD1.config";

const BusMethod kNameHasOwner{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner"};
const BusMethod kCheckAuthorization{"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                    "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization"};

// Reads the first value of a reply of one string, object path or boolean.
bool ReadString(const BusReply& reply, char type, std::string& text)
{
    const char* value = nullptr;
    if (sd_bus_message_read_basic(reply.message.get(), type, &value) <= 0 || value == nullptr) return false;
    text = value;
    return true;
}

bool ReadBoolean(sd_bus_message* message, bool& value)
{
    int read = 0;
    if (sd_bus_message_read_basic(message, 'b', &read) <= 0) return false;
    value = read != 0;
    return true;
}

Status Unreadable(const std::string& what)
{
    ReportProblem(what + ": unexpected reply");
    return Status::Failed;
}

} // namespace

const char* const kFirewalldName = "org.fedoraproject.FirewallD1";

FirewalldManager::FirewalldManager(std::unique_ptr<SystemBus> bus, Deadline deadline)
    : bus_(std::move(bus)), deadline_(deadline)
{
}

Status FirewalldManager::OpenProfile()
{
    BusReply reply;
    Status status = Call({kFirewalldName, kPath, kFirewalldName, "getDefaultZone"}, AlreadyDone::IsFailure, reply,
                         nullptr);
    if (status != Status::Ok) return status;
    if (!ReadString(reply, 's', defaultZone_)) return Unreadable("getDefaultZone");
    return MayChangeConfiguration();
}

// Asks polkit what firewalld will ask it when we add a port, without interaction.
// Without polkit, firewalld lets only root change it, and so do we.
Status FirewalldManager::MayChangeConfiguration()
{
    const std::string us = bus_->UniqueName();
    BusReply reply;
    const Status status = Call(kCheckAuthorization, AlreadyDone::IsFailure, reply, "(sa{sv})sa{ss}us",
                               "system-bus-name", 1, "name", "s", us.c_str(), kConfigAction, 0, 0u, "");
    if (status != Status::Ok && ServiceMissing(reply.errorName)) return ::geteuid() == 0 ? Status::Ok : Status::AccessDenied;
    if (status != Status::Ok) return status;
    bool authorized = false;
    if (sd_bus_message_enter_container(reply.message.get(), 'r', "bba{ss}") <= 0 ||
        !ReadBoolean(reply.message.get(), authorized))
        return Unreadable("polkit CheckAuthorization");
    if (authorized) return Status::Ok;
    ReportProblem(std::string("not authorized for ") + kConfigAction);
    return Status::AccessDenied;
}

// A zone bound to a source address would take the traffic of its senders first; the
// senders are unknown, so such zones are left as they are.
Status FirewalldManager::PortZone(std::string& zone)
{
    zone = defaultZone_;
    const std::string interface = InterfaceHolding(NotedInternalClient());
    if (interface.empty()) return Status::Ok;
    BusReply reply;
    const Status status = Call({kFirewalldName, kPath, kZoneInterface, "getZoneOfInterface"}, AlreadyDone::IsFailure,
                               reply, "s", interface.c_str());
    if (status != Status::Ok) return status;
    std::string bound;
    if (!ReadString(reply, 's', bound)) return Unreadable("getZoneOfInterface");
    if (!bound.empty()) zone = bound;
    return Status::Ok;
}

Status FirewalldManager::FindOpenPort(int port, Protocol protocol, std::string& name)
{
    std::string zone;
    Status status = PortZone(zone);
    if (status != Status::Ok) return status;
    BusReply reply;
    status = Call({kFirewalldName, kPath, kZoneInterface, "queryPort"}, AlreadyDone::IsFailure, reply, "sss",
                  zone.c_str(), std::to_string(port).c_str(), ProtocolName(protocol));
    if (status != Status::Ok) return status;
    bool open = false;
    if (!ReadBoolean(reply.message.get(), open)) return Unreadable("queryPort");
    name.clear();
    return open ? Status::Ok : Status::NotFound;
}

// Open now, then in the zone's permanent configuration so it survives a reload or a
// restart. firewalld has no place for the name.
Status FirewalldManager::OpenPort(int port, Protocol protocol, const std::wstring& /*name*/)
{
    const std::string number = std::to_string(port);
    std::string zone;
    Status status = PortZone(zone);
    if (status != Status::Ok) return status;
    BusReply reply;
    status = Call({kFirewalldName, kPath, kZoneInterface, "addPort"}, AlreadyDone::IsSuccess, reply, "sssi",
                  zone.c_str(), number.c_str(), ProtocolName(protocol), 0);
    if (status != Status::Ok) return status;
    status = Call({kFirewalldName, kConfigPath, kConfigInterface, "getZoneByName"}, AlreadyDone::IsFailure, reply, "s",
                  zone.c_str());
    std::string zonePath;
    if (status != Status::Ok) return status;
    if (!ReadString(reply, 'o', zonePath)) return Unreadable("getZoneByName");
    return Call({kFirewalldName, zonePath.c_str(), kConfigZoneInterface, "addPort"}, AlreadyDone::IsSuccess, reply,
                "ss", number.c_str(), ProtocolName(protocol));
}

template <class... Args>
Status FirewalldManager::Call(const BusMethod& method, AlreadyDone already, BusReply& reply, const char* types,
                              Args... args)
{
    const std::chrono::milliseconds left{MillisecondsLeft(deadline_)};
    if (left.count() == 0) {
        ReportProblem(std::string(method.member) + ": no time left");
        return Status::TimedOut;
    }
    reply = bus_->Call(method, left, types, args...);
    const Status status = FirewalldAnswerStatus(reply.result, reply.errorName, reply.errorMessage, already);
    if (status != Status::Ok) ReportProblem(std::string(method.member) + ": " + reply.errorMessage);
    return status;
}

bool FirewalldRunning(SystemBus& bus, Deadline deadline)
{
    const std::chrono::milliseconds left{MillisecondsLeft(deadline)};
    if (left.count() == 0) return false;
    const BusReply reply = bus.Call(kNameHasOwner, left, "s", kFirewalldName);
    bool owned = false;
    return reply.result >= 0 && ReadBoolean(reply.message.get(), owned) && owned;
}

} // namespace firewall
