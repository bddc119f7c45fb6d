#include "record/lasting_commands.h"

#include <algorithm>
#include <iterator>
#include <ctime>
#include <optional>

#include "diagnostics.h"
#include "exchange/result_file.h"
#include "platform/closed_over_ipv6.h"
#include "platform/state_folder.h"
#include "record/forward_record_store.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"
#include "text_lines.h"

namespace {

// A failure's reason, as the headline.
void Tell(const std::string& reason)
{
    UserLine(reason);
    Headline(reason);
}

// A failure of the command: its reason is the headline and the result.
void Fail(const std::string& reason)
{
    Tell(reason);
    writeResultText(reason);
}

std::vector<std::string> Narrow(const std::vector<std::wstring>& addresses)
{
    std::vector<std::string> narrow;
    for (const std::wstring& address : addresses)
        if (address != L"ERROR") narrow.push_back(NarrowToBytes(address));
    return narrow;
}

// The record, and the gateway with what this run sees: no gateway when none answered,
// with the reason in `problem`.
struct Setting {
    ForwardRecordStore store;
    std::unique_ptr<ForwardGateway> gateway;
    Surroundings here;
    std::string problem;
};

// The gateway, with what this run sees, beside `store`.
Setting Meet(ForwardRecordStore store, const std::vector<std::wstring>& addresses)
{
    std::string problem;
    auto gateway = OpenForwardGateway(problem);
    std::optional<GatewayIdentity> identity;
    if (gateway) identity = gateway->Identity(problem);
    if (!identity) gateway.reset();
    return Setting{std::move(store), std::move(gateway),
                   Surroundings{identity.value_or(GatewayIdentity{}), Narrow(addresses),
                                static_cast<long long>(std::time(nullptr)), RunDeadline()},
                   identity ? std::string() : problem};
}

void WriteOutcome(const std::string& firstReason) { writeResultText(firstReason.empty() ? "0" : firstReason); }

// Nothing when no record can be kept, told.
std::optional<Setting> Prepare(const std::vector<std::wstring>& addresses)
{
    std::string problem;
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
    std::string problem;
    auto store = ForwardRecordStore::Open(problem);
    if (!store) return Fail(problem);
    if (store->forwards.empty()) return WriteOutcome({});
    std::optional<Setting> setting = Meet(std::move(*store), addresses);
    if (!setting->gateway) {
        // Saved all the same: the schedule follows this program, as when it was installed
        // in another folder and the old one is gone.
        setting->store.Save();
        Fail(setting->problem);
        return;
    }
    const auto firewall = OpenForwardFirewall();
    std::string reason = RenewForwards(setting->store.forwards, *setting->gateway, *firewall, setting->here);
    if (!setting->store.Save()) {
        const std::string problem = "The record of open ports could not be written, so what this renewal learnt is "
                                    "not kept in it. Check that the home folder has space and is writable.";
        Headline(problem);
        if (reason.empty()) reason = problem;
    }
    WriteOutcome(reason);
}

void RunListCommand(const std::vector<std::wstring>& addresses)
{
    std::optional<Setting> setting = Prepare(addresses);
    if (!setting) return;
    if (!setting->gateway) {
        Fail(setting->problem);
        return;
    }
    std::string problem;
    const auto listed = setting->gateway->List(setting->here.addresses, problem);
    if (!listed) {
        Fail(problem);
        return;
    }
    // What another device at the router's address holds is not this router's to show.
    std::vector<RecordedForward> onThisDevice;
    std::copy_if(setting->store.forwards.begin(), setting->store.forwards.end(), std::back_inserter(onThisDevice),
                 [&](const RecordedForward& f) { return setting->gateway->OnThisDevice(f); });
    const std::vector<std::string> lines = ListLines(*listed, onThisDevice, setting->here);
    std::vector<std::wstring> wide;
    for (const std::string& line : lines) wide.push_back(WidenBytes(line));
    writeResultLines(wide);
}

void RunCloseCommand(const std::vector<std::wstring>& commandLines, const std::vector<std::wstring>& addresses)
{
    const bool all = ClosesAll(commandLines);
    std::string problem;
    auto targets = all ? std::vector<CloseTarget>() : ReadCloseTargets(commandLines, problem);
    if (!targets) {
        Fail(problem);
        return;
    }
    std::optional<Setting> setting = Prepare(addresses);
    if (!setting) return;
    ForwardRecordStore& store = setting->store;
    std::string reason = setting->problem;
    // Nothing recorded is nothing to close, whether a router answers or not.
    if (all && store.forwards.empty()) reason.clear();
    if (setting->gateway) {
        if (all) targets = RecordedTargets(store.forwards);
        const auto firewall = OpenForwardFirewall();
        reason = CloseForwards(*targets, store.forwards, *setting->gateway, *firewall, setting->here,
                               [&store] { return store.Save(); });
    } else if (!reason.empty()) {
        Tell(reason);
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

ForwardRecording RecordForward(ForwardRecordStore& store, const std::vector<std::wstring>& firewallEntriesMade)
{
    std::string problem;
    const auto gateway = OpenForwardGateway(problem);
    if (!gateway) return {};
    std::vector<RecordedForward> made = gateway->Made();
    if (made.empty()) return {};
    for (RecordedForward& forward : made) {
        const std::wstring name = WidenBytes(OwnEntryName(forward.externalPort, forward.protocol));
        // A pinhole's entry is the firewall's own rule over IPv6, where it keeps one per family.
        const bool entryMade = forward.family == "IPv6"
                                   ? OwnRuleOverIpv6(forward.externalPort, forward.protocol)
                                   : std::find(firewallEntriesMade.begin(), firewallEntriesMade.end(), name) !=
                                         firewallEntriesMade.end();
        if (entryMade) forward.firewallEntry = NarrowToBytes(name);
        Remember(store.forwards, forward);
    }
    if (store.Save()) return {true, {}};
    // Unrecorded, nothing would keep it open, and close could not find all of it: taken back.
    const auto firewall = OpenForwardFirewall();
    const std::vector<RecordedForward> left = TakeBack(made, *gateway, *firewall);
    std::string reason = "The ports just opened could not be recorded, so ";
    if (left.empty()) {
        reason += "they were closed again. Check that the home folder has space and is writable, then forward again.";
    } else {
        std::string subjects;
        for (const RecordedForward& f : left) subjects += (subjects.empty() ? "" : ", ") + Subject(f);
        reason += "they will not be kept open, yet " + subjects + " could not be closed again. The router lets them "
                  "go within " + std::to_string(kAskedLease / 3600) + " hours; to close them sooner, choose Open "
                  "ports\u2026 (Ctrl+O) and close them there, or in the router's own settings.";
    }
    Headline(reason);
    return {false, reason};
}
