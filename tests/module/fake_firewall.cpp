#include "fake_firewall.h"

#include "platform/utf8.h"

namespace {

using firewall::PortRequest;
using firewall::Status;

std::string Key(const PortRequest& request)
{
    return std::string(Name(request.protocol)) + " " + std::to_string(request.port) +
           (request.family == Family::Ipv6 ? " over IPv6" : "");
}

class Manager final : public firewall::FirewallManager {
public:
    explicit Manager(FakeFirewall& firewall) : firewall_(firewall) {}

    Status OpenProfile() override { return Answer("OpenProfile", Status::Ok); }
    bool Enabled() const override { return firewall_.on; }
    Status StateRead() const override { return firewall_.state; }
    bool KeepsFamiliesApart() const override { return firewall_.familiesApart; }
    Found FindOpenPort(const PortRequest& request) override
    {
        const auto entry = firewall_.entries.find(Key(request));
        const bool held = entry != firewall_.entries.end();
        const Status status = Answer(Call("FindOpenPort", request), held ? Status::Ok : Status::NotFound);
        return {status, held ? entry->second : std::string()};
    }
    firewall::Opening OpenPort(const PortRequest& request) override
    {
        // An entry of no family lets the port in over IPv6 already.
        const bool ofNoFamily = request.family == Family::Ipv6 && !firewall_.familiesApart;
        const Status status = Answer(Call("OpenPort", request), ofNoFamily ? Status::AlreadyOpen : Status::Ok);
        if (status == Status::Ok) firewall_.entries[Key(request)] = Utf8FromWide(request.name);
        return {status, firewall::StatusCode(status),
                request.family == Family::Ipv6 ? firewall_.gaps : std::vector<std::string>(), {}};
    }
    Status FindOwnPort(const PortRequest& request) override
    {
        const auto entry = firewall_.entries.find(Key(request));
        const bool held = entry != firewall_.entries.end() && entry->second == Utf8FromWide(request.name);
        return Answer(Call("FindOwnPort", request), held ? Status::Ok : Status::NotFound);
    }
    Status ClosePort(const PortRequest& request) override
    {
        const Status status = Answer(Call("ClosePort", request), Status::Ok);
        if (status == Status::Ok) firewall_.entries.erase(Key(request));
        return status;
    }

private:
    static std::string Call(const std::string& name, const PortRequest& request)
    {
        return name + " " + Key(request) + " '" + Utf8FromWide(request.name) + "'";
    }
    Status Answer(const std::string& call, Status usual) const
    {
        firewall_.calls.push_back(call);
        for (const auto& [start, status] : firewall_.answers)
            if (call.rfind(start, 0) == 0) return status;
        return usual;
    }

    FakeFirewall& firewall_;
};

} // namespace

std::unique_ptr<firewall::FirewallManager> FakeFirewall::Manager() { return std::make_unique<::Manager>(*this); }

firewall::FirewallFactory FakeFirewall::Factory()
{
    return [this] {
        calls.push_back("OpenFirewall");
        return Manager();
    };
}
