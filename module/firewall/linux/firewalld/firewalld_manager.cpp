#include "firewall/linux/firewalld/firewalld_manager.h"

#include <unistd.h>

#include <cstring>
#include <utility>

#include "firewall/linux/firewalld/rich_rule.h"
#include "firewall/linux/interface_name.h"
#include "firewall/sentences.h"

namespace firewall {
namespace {

constexpr const char* kPath = "/org/fedoraproject/FirewallD1";
constexpr const char* kConfigPath = "/org/fedoraproject/FirewallD1/config";
constexpr const char* kZoneInterface = "org.fedoraproject.FirewallD1.zone";
constexpr const char* kPolicyInterface = "org.fedoraproject.FirewallD1.policy";
constexpr const char* kConfigInterface = "org.fedoraproject.FirewallD1.config";
constexpr const char* kConfigZoneInterface = "org.fedoraproject.FirewallD1.config.zone";
// What firewalld asks polkit before it changes a zone, at runtime or permanently.
constexpr const char* kConfigAction = "org.fedoraproject.FirewallD1.config";
// The pseudo zones of a policy: traffic into this machine, and from any zone.
constexpr const char* kHost = "HOST";
constexpr const char* kAnyZone = "ANY";

const BusMethod kNameHasOwner{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner"};

// Reads the first value of a reply of one string or object path.
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

bool Holds(const std::vector<std::string>& zones, const std::string& zone)
{
    for (const std::string& each : zones)
        if (each == zone) return true;
    return false;
}

// getActivePolicies: {policy: {"ingress_zones": [...], "egress_zones": [...]}}; the
// policies that meet traffic from `zone` into this machine.
bool ReadPoliciesInto(sd_bus_message* message, const std::string& zone, std::vector<std::string>& policies)
{
    if (sd_bus_message_enter_container(message, 'a', "{sa{sas}}") <= 0) return false;
    while (sd_bus_message_enter_container(message, 'e', "sa{sas}") > 0) {
        const char* policy = nullptr;
        if (sd_bus_message_read_basic(message, 's', &policy) <= 0 ||
            sd_bus_message_enter_container(message, 'a', "{sas}") <= 0)
            return false;
        bool from = false;
        bool into = false;
        while (sd_bus_message_enter_container(message, 'e', "sas") > 0) {
            const char* key = nullptr;
            std::vector<std::string> zones;
            if (sd_bus_message_read_basic(message, 's', &key) <= 0 || !ReadStrings(message, zones)) return false;
            if (std::strcmp(key, "ingress_zones") == 0) from = Holds(zones, zone) || Holds(zones, kAnyZone);
            if (std::strcmp(key, "egress_zones") == 0) into = Holds(zones, kHost);
            if (sd_bus_message_exit_container(message) < 0) return false;
        }
        if (sd_bus_message_exit_container(message) < 0 || sd_bus_message_exit_container(message) < 0) return false;
        if (from && into) policies.emplace_back(policy);
    }
    return sd_bus_message_exit_container(message) >= 0;
}

// The "rich_rules" of a policy's settings.
bool ReadSettingsRichRules(sd_bus_message* message, std::vector<std::string>& rules)
{
    if (sd_bus_message_enter_container(message, 'a', "{sv}") <= 0) return false;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read_basic(message, 's', &key) <= 0) return false;
        if (std::strcmp(key, "rich_rules") == 0) {
            if (sd_bus_message_enter_container(message, 'v', "as") <= 0 || !ReadStrings(message, rules) ||
                sd_bus_message_exit_container(message) < 0)
                return false;
        } else if (sd_bus_message_skip(message, "v") < 0) {
            return false;
        }
        if (sd_bus_message_exit_container(message) < 0) return false;
    }
    return true;
}

std::string FirstRefusing(const std::vector<std::string>& rules, int port, Protocol protocol)
{
    for (const std::string& rule : rules)
        if (RichRuleRefuses(rule, port, protocol)) return rule;
    return {};
}

} // namespace

const char* const kFirewalldName = "org.fedoraproject.FirewallD1";

FirewalldManager::FirewalldManager(std::shared_ptr<SystemBus> bus, Deadlines deadlines)
    : bus_(std::move(bus)), deadlines_(deadlines)
{
}

std::string FirewalldManager::WhyNoPassword() const
{
    if (promptUnanswered_) return "the password was not given in time";
    if (authorization_ == Authorization::PromptClosed) return "the password prompt was closed";
    return "no password prompt could be shown here (no polkit authentication agent runs)";
}

// The zone is read, and whether we may change it: root may; polkit's no is known now,
// while a question for the user waits for the port, which its prompt names.
Status FirewalldManager::OpenProfile()
{
    BusReply reply;
    Status status = Call({kFirewalldName, kPath, kFirewalldName, "getDefaultZone"}, AlreadyDone::IsFailure, reply,
                         nullptr);
    if (status == Status::Ok && !ReadString(reply, 's', defaultZone_)) status = Unreadable("getDefaultZone");
    if (status == Status::Ok && ::geteuid() != 0)
        status = AskPolkit(*bus_, kConfigAction, Interaction::None, deadlines_.reading, authorization_);
    reading_ = false;
    if (status == Status::TimedOut) Headline(sentence::NoAnswer);
    if (status != Status::Ok) return status;
    if (authorization_ != Authorization::No) return Status::Ok;
    ReportProblem(std::string("polkit does not let this user do ") + kConfigAction);
    Headline(sentence::NotAllowed);
    return Status::AccessDenied;
}

bool FirewalldManager::Authorized()
{
    // firewalld asks polkit before each change; a desktop's agent may then ask the user.
    bus_->AllowInteractiveAuthorization();
    if (authorization_ == Authorization::NeedsPassword &&
        AskPolkitWithPrompt(*bus_, kConfigAction, authorization_) != Status::Ok) {
        authorization_ = Authorization::NotGiven;
        promptUnanswered_ = true;
    }
    return authorization_ == Authorization::Yes;
}

// A zone bound to a source address would take the traffic of its senders first; the
// senders are unknown, so such zones are left as they are.
Status FirewalldManager::PortZone(const std::string& internalAddress, std::string& zone)
{
    zone = defaultZone_;
    const std::string interface = InterfaceHolding(internalAddress);
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

// Reading the port's state needs the rights a change needs, and firewalld would ask the
// user for them: only a change asks (renew, which only reads, never does).
FirewallManager::Found FirewalldManager::FindOpenPort(const PortRequest& request)
{
    if (authorization_ != Authorization::Yes) return {Status::AccessDenied, {}};
    std::string zone;
    Status status = PortZone(request.internalAddress, zone);
    bool open = false;
    if (status == Status::Ok) status = QueryPort(zone, request.port, request.protocol, open);
    if (status != Status::Ok) return {status, {}};
    return {open ? Status::Ok : Status::NotFound, {}};
}

Status FirewalldManager::QueryPort(const std::string& zone, int port, Protocol protocol, bool& open)
{
    const std::string protocolName(LowerName(protocol));
    BusReply reply;
    const Status status = Call({kFirewalldName, kPath, kZoneInterface, "queryPort"}, AlreadyDone::IsFailure, reply,
                               "sss", zone.c_str(), std::to_string(port).c_str(), protocolName.c_str());
    if (status != Status::Ok) return status;
    return ReadBoolean(reply.message.get(), open) ? Status::Ok : Unreadable("queryPort");
}

Opening FirewalldManager::OpenPort(const PortRequest& request)
{
    Opening opening;
    opening.status = Status::AlreadyOpen;
    if (request.family == Family::Ipv4) {
        bool explained = false;
        opening.status = Open(request, opening, explained);
        if (opening.status != Status::Ok && opening.status != Status::AlreadyOpen && !explained)
            Headline(opening.status == Status::TimedOut ? sentence::PortNoAnswer : sentence::PortNotOpened,
                     {{"manager", "firewalld"}, {"port", std::to_string(request.port)}});
    }
    opening.code = StatusCode(opening.status);
    return opening;
}

// Open now, then in the zone's permanent configuration so it survives a reload or a
// restart, unless a rule of the administrator refuses the port: adding it would not
// get past that rule, and the rule stays as it is; nor when the zone has the port open
// already (an administrator's, which is not ours to record). The user is asked for the
// password here, at the port the prompt names. Without a password given, the commands
// that would do it are named at the end, for every port at once.
Status FirewalldManager::Open(const PortRequest& request, Opening& opening, bool& explained)
{
    const int port = request.port;
    const Protocol protocol = request.protocol;
    const std::string number = std::to_string(port), protocolName(LowerName(protocol));
    std::string zone;
    Status status = PortZone(request.internalAddress, zone);
    if (status != Status::Ok) return status;
    const bool authorized = Authorized();
    std::string refusing;
    status = RefusingRule(zone, port, protocol, refusing);
    if (status != Status::Ok) return status;
    if (!refusing.empty()) {
        Tell(sentence::FirewalldRuleRefuses,
             {{"rule", refusing}, {"zone", zone}, {"port", number}, {"protocol", protocolName}});
        Headline(sentence::PortRefused, {{"manager", "firewalld"}, {"port", number}});
        explained = true;
        return Status::Failed;
    }
    if (!authorized) {
        opening.leftToAdministrator.push_back(
            {AdministratorStep::Firewall::Firewalld, number + "/" + protocolName, zone, WhyNoPassword()});
        explained = true;
        return Status::AccessDenied;
    }
    bool open = false;
    status = QueryPort(zone, port, protocol, open);
    if (status != Status::Ok || open) return status != Status::Ok ? status : Status::AlreadyOpen;
    BusReply reply;
    status = Call({kFirewalldName, kPath, kZoneInterface, "addPort"}, AlreadyDone::IsSuccess, reply, "sssi",
                  zone.c_str(), number.c_str(), protocolName.c_str(), 0);
    if (status != Status::Ok) return status;
    status = Call({kFirewalldName, kConfigPath, kConfigInterface, "getZoneByName"}, AlreadyDone::IsFailure, reply, "s",
                  zone.c_str());
    std::string zonePath;
    if (status != Status::Ok) return status;
    if (!ReadString(reply, 'o', zonePath)) return Unreadable("getZoneByName");
    return Call({kFirewalldName, zonePath.c_str(), kConfigZoneInterface, "addPort"}, AlreadyDone::IsSuccess, reply,
                "ss", number.c_str(), protocolName.c_str());
}

// firewalld keeps no name: the record says the port is the tool's, and only our own
// addPort is undone (a rich rule of the administrator's is another thing and stays).
Status FirewalldManager::ClosePort(const PortRequest& request)
{
    if (!Authorized()) return Status::AccessDenied;
    const std::string number = std::to_string(request.port), protocolName(LowerName(request.protocol));
    std::string zone;
    Status status = PortZone(request.internalAddress, zone);
    BusReply reply;
    if (status == Status::Ok)
        status = Call({kFirewalldName, kPath, kZoneInterface, "removePort"}, AlreadyDone::IsSuccess, reply, "sss",
                      zone.c_str(), number.c_str(), protocolName.c_str());
    if (status == Status::Ok)
        status = Call({kFirewalldName, kConfigPath, kConfigInterface, "getZoneByName"}, AlreadyDone::IsFailure, reply,
                      "s", zone.c_str());
    std::string zonePath;
    if (status != Status::Ok) return status;
    if (!ReadString(reply, 'o', zonePath)) return Unreadable("getZoneByName");
    return Call({kFirewalldName, zonePath.c_str(), kConfigZoneInterface, "removePort"}, AlreadyDone::IsSuccess, reply,
                "ss", number.c_str(), protocolName.c_str());
}

// Reading the rules takes the rights a change takes. Without them the commands we
// name are given all the same: an added port gets past no rule that refuses it.
Status FirewalldManager::RefusingRule(const std::string& zone, int port, Protocol protocol, std::string& rule)
{
    if (authorization_ != Authorization::Yes) return Status::Ok;
    BusReply reply;
    std::vector<std::string> rules;
    Status status = Call({kFirewalldName, kPath, kZoneInterface, "getRichRules"}, AlreadyDone::IsFailure, reply, "s",
                         zone.c_str());
    if (status == Status::Ok && !ReadStrings(reply.message.get(), rules)) status = Unreadable("getRichRules");
    if (status != Status::Ok) return status;
    rule = FirstRefusing(rules, port, protocol);
    if (!rule.empty()) return Status::Ok;
    std::string zonePath;
    status = Call({kFirewalldName, kConfigPath, kConfigInterface, "getZoneByName"}, AlreadyDone::IsFailure, reply, "s",
                  zone.c_str());
    if (status == Status::Ok && !ReadString(reply, 'o', zonePath)) status = Unreadable("getZoneByName");
    if (status == Status::Ok)
        status = Call({kFirewalldName, zonePath.c_str(), kConfigZoneInterface, "getRichRules"}, AlreadyDone::IsFailure,
                      reply, nullptr);
    if (status == Status::Ok && !ReadStrings(reply.message.get(), rules)) status = Unreadable("getRichRules");
    if (status != Status::Ok) return status;
    rule = FirstRefusing(rules, port, protocol);
    return rule.empty() ? RefusingPolicyRule(zone, port, protocol, rule) : Status::Ok;
}

Status FirewalldManager::RefusingPolicyRule(const std::string& zone, int port, Protocol protocol, std::string& rule)
{
    BusReply reply;
    Status status = Call({kFirewalldName, kPath, kPolicyInterface, "getActivePolicies"}, AlreadyDone::IsFailure, reply,
                         nullptr);
    std::vector<std::string> policies;
    if (status == Status::Ok && !ReadPoliciesInto(reply.message.get(), zone, policies))
        status = Unreadable("getActivePolicies");
    for (const std::string& policy : policies) {
        std::vector<std::string> rules;
        if (status == Status::Ok)
            status = Call({kFirewalldName, kPath, kPolicyInterface, "getPolicySettings"}, AlreadyDone::IsFailure, reply,
                          "s", policy.c_str());
        if (status == Status::Ok && !ReadSettingsRichRules(reply.message.get(), rules))
            status = Unreadable("getPolicySettings");
        if (status != Status::Ok) return status;
        rule = FirstRefusing(rules, port, protocol);
        if (!rule.empty()) return Status::Ok;
    }
    return status;
}

template <class... Args>
Status FirewalldManager::Call(const BusMethod& method, AlreadyDone already, BusReply& reply, const char* types,
                              Args... args)
{
    const std::chrono::milliseconds left{MillisecondsLeft(reading_ ? deadlines_.reading : deadlines_.run)};
    if (left.count() == 0) {
        ReportProblem(std::string(method.member) + ": no time left");
        return Status::TimedOut;
    }
    reply = bus_->Call(method, left, types, args...);
    const Status status = FirewalldAnswerStatus(reply.result, reply.errorName, reply.errorMessage, already);
    if (status != Status::Ok) ReportProblem(std::string(method.member) + ": " + reply.errorMessage);
    return status;
}

Status FirewalldRunning(SystemBus& bus, Deadline deadline, bool& running)
{
    running = false;
    const std::chrono::milliseconds left{MillisecondsLeft(deadline)};
    if (left.count() == 0) return Status::TimedOut;
    const BusReply reply = bus.Call(kNameHasOwner, left, "s", kFirewalldName);
    const Status status =
        FirewalldAnswerStatus(reply.result, reply.errorName, reply.errorMessage, AlreadyDone::IsFailure);
    if (status != Status::Ok) {
        ReportProblem("the system bus did not say whether firewalld runs: " + reply.errorMessage);
        return status;
    }
    return ReadBoolean(reply.message.get(), running) ? Status::Ok : Unreadable("NameHasOwner");
}

} // namespace firewall
