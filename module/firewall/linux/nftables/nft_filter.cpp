#include "firewall/linux/nftables/nft_filter.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "diagnostics.h"
#include "platform/printable_text.h"

namespace firewall {
namespace {

constexpr const char* kNftProgram = "/usr/sbin/nft";

std::string Subject(int port, Protocol protocol) { return std::to_string(port) + "/" + ProtocolName(protocol); }

// nft's own first line at most: the rules themselves are never repeated.
std::string FirstLine(const std::string& output)
{
    constexpr std::size_t kLongest = 200;
    const std::string line = output.substr(0, std::min(output.find('\n'), kLongest));
    return line.empty() ? "(nothing)" : PrintableText(line);
}

// Why the rules were not read.
std::string Outcome(const ProcessOutcome& outcome)
{
    switch (outcome.end) {
    case ProcessOutcome::End::Exited:
        if (outcome.exitCode != 0)
            return "nft ended with status " + std::to_string(outcome.exitCode) + ": " + FirstLine(outcome.output);
        if (outcome.cut) return "they are larger than the " + std::to_string(kMaxOutput / (1024 * 1024)) + " MB read";
        return "nft's answer (" + std::to_string(outcome.output.size()) + " bytes) is not the rules as JSON";
    case ProcessOutcome::End::Signaled: return "nft was ended by a signal";
    case ProcessOutcome::End::TimedOut: return "nft did not answer in time";
    case ProcessOutcome::End::NotStarted: break;
    }
    return "nft could not be started";
}

} // namespace

NftFilter::NftFilter(ProcessRunner runner, Deadline deadline) : runner_(std::move(runner)), deadline_(deadline) {}

Status NftFilter::OpenProfile()
{
    const ProcessOutcome outcome =
        runner_({kNftProgram, "-j", "list", "ruleset"}, {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C"}, deadline_);
    if (outcome.end == ProcessOutcome::End::Exited && outcome.exitCode == 0 && !outcome.cut)
        ruleset_ = NftRuleset::Read(outcome.output);
    if (!ruleset_) {
        const bool root = ::geteuid() == 0;
        stateRead_ = !root                                          ? Status::AccessDenied
                     : outcome.end == ProcessOutcome::End::TimedOut ? Status::TimedOut
                                                                    : Status::Failed;
        UserLine("The machine's own nftables rules could not be read: " +
                 (root ? Outcome(outcome) : std::string("that takes an administrator")) + ".");
        Headline("This machine's own packet filter could not be checked; if it filters inbound traffic, the port "
                 "must be let in there too.");
        return Status::Ok;
    }
    if (Enabled()) UserLine("This machine filters inbound traffic with its own nftables rules.");
    return Status::Ok;
}

Status NftFilter::FindOpenPort(int port, Protocol protocol, std::string& name)
{
    name.clear();
    if (!ruleset_->DroppingChain(port, protocol).empty()) return Status::NotFound;
    UserLine("This machine's own nftables rules let " + Subject(port, protocol) + " in.");
    return Status::Ok;
}

// Unread rules have had their headline: nothing more is known of IPv6.
std::string NftFilter::Ipv6Gap(int port, Protocol protocol)
{
    const std::string chain = ruleset_ ? ruleset_->DroppingChain(port, protocol, IpFamily::Ipv6) : std::string();
    if (chain.empty()) return {};
    return "the chain " + chain + " drops " + Subject(port, protocol) + ": add a rule there that accepts it";
}

Status NftFilter::OpenPort(int port, Protocol protocol, const std::wstring& /*name*/)
{
    UserLine("The nftables chain " + ruleset_->DroppingChain(port, protocol) + " does not let " +
             Subject(port, protocol) + " in; we leave the machine's own rules as they are.");
    Headline("This machine filters inbound traffic with its own nftables rules; the port was not let in there. "
             "Add a rule that accepts port " + std::to_string(port) + ", or ask an administrator.");
    return Status::Failed;
}

} // namespace firewall
