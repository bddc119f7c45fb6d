#include "fake_firewall.h"

#include "platform/posix/utf8.h"

namespace firewall {
namespace {

class FakeManager final : public FirewallManager {
public:
    explicit FakeManager(FakeFirewall& state) : state_(state) {}

    Status OpenProfile() override { return state_.openProfile; }
    bool Enabled() const override { return state_.enabled; }
    Status FindOpenPort(int port, Protocol protocol, std::string& name) override
    {
        state_.calls.push_back("find " + Port(port, protocol));
        const auto found = state_.open.find({port, protocol});
        if (found == state_.open.end()) return Status::NotFound;
        name = found->second;
        return Status::Ok;
    }
    Status OpenPort(int port, Protocol protocol, const std::wstring& name) override
    {
        state_.calls.push_back("open " + Port(port, protocol) + " '" + Utf8FromWide(name) + "'");
        if (state_.openPort == Status::Ok) state_.open[{port, protocol}] = Utf8FromWide(name);
        return state_.openPort;
    }

private:
    static std::string Port(int port, Protocol protocol) { return std::to_string(port) + "/" + ProtocolName(protocol); }

    FakeFirewall& state_;
};

} // namespace

ManagerFactory FakeFirewall::Factory()
{
    return [this]() -> std::unique_ptr<FirewallManager> { return std::make_unique<FakeManager>(*this); };
}

ProcessOutcome Exited(int code, std::string output)
{
    ProcessOutcome outcome;
    outcome.end = ProcessOutcome::End::Exited;
    outcome.exitCode = code;
    outcome.output = std::move(output);
    return outcome;
}

} // namespace firewall
