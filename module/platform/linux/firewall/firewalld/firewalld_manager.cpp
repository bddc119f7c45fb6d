#include "firewalld/firewalld_manager.h"

#include <utility>

#include "interface_name.h"
#include "platform/internal_client.h"
#include "polkit_check.h"

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

// Reads the first value of a reply of one string, object path or boolean.
bool ReadString(const BusReply& reply, char type, std::string& text)
{
    const char* value = nullptr;
    if (sd_bus_message_read_basic(reply.message.get(), type, &value) <= 0 || value == nullptr) return false;
    text = value;
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
    // firewalld asks polkit before each change; a desktop's agent may then ask the user.
    bus_->AllowInteractiveAuthorization();
}

Status FirewalldManager::OpenProfile()
{
    BusReply reply;
    Status status = Call({kFirewalldName, kPath, kFirewalldName, "getDefaultZone"}, AlreadyDone::IsFailure, reply,
                         nullptr);
    if (status != Status::Ok) return status;
    if (!ReadString(reply, 's', defaultZone_)) return Unreadable("getDefaultZone");
    // Asked here, with the user's say, so a refusal means no profile; auth_admin_keep
    // lets the changes that follow through without asking again.
    return PolkitAllows(*bus_, kConfigAction, Interaction::Allowed, deadline_);
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
