#include "record/lasting_commands.h"

#include <algorithm>
#include <iterator>
#include <ctime>
#include <optional>

#include "tell.h"
#include "addresses/internal_ips.h"
#include "exchange/result_file.h"
#include "gateway/gateway_session.h"
#include "platform/state_folder.h"
#include "record/forward_record_store.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"
#include "record/remembered_gateway.h"
#include "record/sentences.h"
#include "text_lines.h"

namespace {

// A failure's reason, as the headline.
void TellReason(const Told& reason)
{
    Tell(reason);
    Headline(reason);
}

// A failure of the command: its reason is the headline and the result.
void Fail(const Told& reason)
{
    TellReason(reason);
    writeResultText(reason.text);
}

// The record, and the gateway with what this run sees: no gateway when none answered,
// with the reason in `problem`.
struct Setting {
    ForwardRecordStore store;
    std::unique_ptr<gateway::GatewaySession> session; // outlives the client that refers to it
    std::unique_ptr<gateway::EntryClient> gateway;
    Surroundings here;
    std::optional<Told> problem;
};

// Where no router answered: each call about one gives why, told as a headline. What only
// this machine's firewall lets in is renewed, listed and closed without one.
class NoGateway final : public gateway::EntryClient {
public:
    explicit NoGateway(Told why) : why_(std::move(why)) {}
    Answered<gateway::Identity> Here() override { return {{}, why_}; }
    bool OnThisDevice(const gateway::Grant&) override { return false; }
    Answered<gateway::Holding> Holds(const gateway::Grant&) override { return {{}, Headlined()}; }
    Answered<Renewal> Renew(const gateway::Grant&) override { return {{}, Headlined()}; }
    std::optional<Told> Delete(const gateway::Grant&) override { return Headlined(); }
    Answered<std::optional<Listed>> Read(int, Protocol) override { return {{}, Headlined()}; }
    Answered<std::vector<Listed>> List(const std::vector<std::string>&) override { return {{}, why_}; }

private:
    Told Headlined()
    {
        Headline(why_);
        return why_;
    }
    Told why_;
};

// The record's entries that only this machine's firewall lets in, taken out of `forwards`.
std::vector<RecordedForward> TakeFirewallOnly(std::vector<RecordedForward>& forwards)
{
    const auto others = std::stable_partition(forwards.begin(), forwards.end(),
                                              [](const RecordedForward& f) { return f.firewallOnly; });
    std::vector<RecordedForward> taken(forwards.begin(), others);
    forwards.erase(forwards.begin(), others);
    return taken;
}

// The gateway, with what this run sees, beside `store`.
Setting Meet(ForwardRecordStore store, const std::vector<std::wstring>& addresses)
{
    auto session = std::make_unique<gateway::GatewaySession>(RememberingGateway());
    auto client = gateway::OpenEntryClient(*session);
    const Answered<gateway::Identity> identity = client->Here();
    if (!identity.value) client.reset();
    return Setting{std::move(store), std::move(session), std::move(client),
                   Surroundings{identity.value.value_or(gateway::Identity{}), AddressTexts(addresses),
                                static_cast<long long>(std::time(nullptr)), RunDeadline()},
                   identity.problem};
}

void WriteOutcome(const std::string& firstReason) { writeResultText(firstReason.empty() ? "0" : firstReason); }

// Nothing when no record can be kept, told.
std::optional<Setting> Prepare(const std::vector<std::wstring>& addresses)
{
    Told problem;
    auto store = ForwardRecordStore::Open(problem);
    if (!store) {
        Fail(problem);
        return std::nullopt;
    }
    return Meet(std::move(*store), addresses);
}

} // namespace

void RunRenewCommand(const std::vector<std::wstring>& addresses)
{
    // Nothing recorded, nothing to renew: no router is looked for, no folder made.
    if (StateFolderMissing()) return WriteOutcome({});
    Told problem;
    auto store = ForwardRecordStore::Open(problem);
    if (!store) return Fail(problem);
    if (store->forwards.empty()) return WriteOutcome({});
    std::optional<Setting> setting = Meet(std::move(*store), addresses);
    EntryFirewall entries(firewall::OpenMachineFirewall);
    if (!setting->gateway) {
        std::vector<RecordedForward>& forwards = setting->store.forwards;
        NoGateway none(*setting->problem);
        std::vector<RecordedForward> letInOnly = TakeFirewallOnly(forwards);
        const std::string reason = RenewForwards(letInOnly, none, entries, setting->here);
        const bool mappings = !forwards.empty();
        forwards.insert(forwards.end(), letInOnly.begin(), letInOnly.end());
        // Saved all the same: the schedule follows this program, as when it was installed
        // in another folder and the old one is gone.
        setting->store.Save();
        if (mappings) Fail(*setting->problem);
        else WriteOutcome(reason);
        return;
    }
    std::string reason = RenewForwards(setting->store.forwards, *setting->gateway, entries, setting->here);
    if (!setting->store.Save()) {
        const Told problem = Compose(record::sentence::RenewalNotKept);
        Headline(problem);
        if (reason.empty()) reason = problem.text;
    }
    WriteOutcome(reason);
}

void RunListCommand(const std::vector<std::wstring>& addresses)
{
    std::optional<Setting> setting = Prepare(addresses);
    if (!setting) return;
    // Without a router, what only this machine's firewall lets in is listed all the same,
    // the router's reason told beside it.
    std::vector<RecordedForward> shown = TakeFirewallOnly(setting->store.forwards);
    std::vector<gateway::EntryClient::Listed> listed;
    if (setting->gateway) {
        // Another device's forwards this tool keeps open are shown, to be closed, beside this machine's.
        std::vector<std::string> listedFor = setting->here.addresses;
        for (const RecordedForward& f : setting->store.forwards)
            if (f.anotherDevice && !Holds(listedFor, f.grant.internalAddress))
                listedFor.push_back(f.grant.internalAddress);
        auto answer = setting->gateway->List(listedFor);
        if (!answer.value) {
            if (shown.empty()) return Fail(*answer.problem);
            TellReason(*answer.problem);
        } else {
            listed = std::move(*answer.value);
            // What another device at the router's address holds is not this router's to show.
            std::copy_if(setting->store.forwards.begin(), setting->store.forwards.end(), std::back_inserter(shown),
                         [&](const RecordedForward& f) { return setting->gateway->OnThisDevice(f.grant); });
        }
    } else if (shown.empty()) {
        return Fail(*setting->problem);
    } else {
        TellReason(*setting->problem);
    }
    const std::vector<std::string> lines = ListLines(listed, shown, setting->here);
    std::vector<std::wstring> wide;
    for (const std::string& line : lines) wide.push_back(WidenBytes(line));
    writeResultLines(wide);
}

void RunCloseCommand(const std::vector<std::wstring>& commandLines, const std::vector<std::wstring>& addresses)
{
    const bool all = ClosesAll(commandLines);
    auto targets = all ? std::vector<CloseTarget>() : ReadCloseTargets(commandLines);
    if (!targets) {
        Fail(Compose(record::sentence::CloseUsage));
        return;
    }
    std::optional<Setting> setting = Prepare(addresses);
    if (!setting) return;
    ForwardRecordStore& store = setting->store;
    std::string reason;
    EntryFirewall entries(firewall::OpenMachineFirewall);
    if (setting->gateway) {
        if (all) targets = RecordedTargets(store.forwards);
        reason = CloseForwards(*targets, store.forwards, *setting->gateway, entries, setting->here,
                               [&store] { return store.Save(); });
    } else if (!all || !store.forwards.empty()) {
        // Without a router only what this machine's firewall alone lets in can be closed;
        // asking for more is told why not. Nothing recorded is nothing to close.
        NoGateway none(*setting->problem);
        std::vector<RecordedForward> letInOnly = TakeFirewallOnly(store.forwards);
        std::vector<RecordedForward> mappings = std::move(store.forwards);
        const auto rejoin = [&] {
            store.forwards = mappings;
            store.forwards.insert(store.forwards.end(), letInOnly.begin(), letInOnly.end());
        };
        if (all) targets = RecordedTargets(letInOnly);
        reason = CloseForwards(*targets, letInOnly, none, entries, setting->here, [&] {
            rejoin();
            return store.Save();
        });
        rejoin();
        if (reason.empty() && all && !mappings.empty()) {
            TellReason(*setting->problem);
            reason = setting->problem->text;
        }
    }
    if (!all || reason.empty()) {
        WriteOutcome(reason);
        return;
    }
    // Everything was asked for: what is left is told after the reason, a line each, for
    // whoever removes the tool and must close the rest by hand.
    std::vector<std::wstring> lines{WidenBytes(reason)};
    for (const std::string& line : LeftOpenLines(store.forwards, setting->here.now)) lines.push_back(WidenBytes(line));
    writeResultLines(lines);
}
