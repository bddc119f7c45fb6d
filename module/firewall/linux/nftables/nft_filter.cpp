#include "firewall/linux/nftables/nft_filter.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "firewall/sentences.h"
#include "platform/printable_text.h"

namespace firewall {
namespace {

constexpr const char* kNftProgram = "/usr/sbin/nft";

std::string Subject(int port, Protocol protocol) { return std::to_string(port) + "/" + std::string(LowerName(protocol)); }

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
        Tell(sentence::NftUnread, {{"why", root ? Outcome(outcome) : std::string("that takes an administrator")}});
        Headline(sentence::NftUnchecked);
        return Status::Ok;
    }
    if (Enabled()) Tell(sentence::NftFilters);
    return Status::Ok;
}

FirewallManager::Found NftFilter::FindOpenPort(const PortRequest& request)
{
    if (!ruleset_->DroppingChain(request.port, request.protocol, request.family).empty()) return {Status::NotFound, {}};
    Tell(sentence::NftLetsIn, {{"subject", Subject(request.port, request.protocol)}});
    return {Status::Ok, {}};
}

Opening NftFilter::OpenPort(const PortRequest& request)
{
    const int port = request.port;
    const Protocol protocol = request.protocol;
    Opening opening;
    if (request.family == Family::Ipv6) {
        // Unread rules have had their headline: nothing more is known of IPv6.
        const std::string chain = ruleset_ ? ruleset_->DroppingChain(port, protocol, Family::Ipv6) : std::string();
        if (!chain.empty())
            opening.closedOverIpv6.push_back("the chain " + chain + " drops " + Subject(port, protocol) +
                                             ": add a rule there that accepts it");
        opening.status = Status::AlreadyOpen;
    } else {
        Tell(sentence::NftChainDrops,
             {{"chain", ruleset_->DroppingChain(port, protocol)}, {"subject", Subject(port, protocol)}});
        Headline(sentence::NftNotLetIn, {{"port", std::to_string(port)}});
        opening.status = Status::Failed;
    }
    opening.code = StatusCode(opening.status);
    return opening;
}

} // namespace firewall
