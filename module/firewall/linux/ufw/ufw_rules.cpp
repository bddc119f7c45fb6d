#include "firewall/linux/ufw/ufw_rules.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace firewall {
namespace {

const std::string kTupleMark = "### tuple ###";
const std::string kCommentMark = " comment=";
const std::string kAnyIpv4 = "0.0.0.0/0";
const std::string kAnyIpv6 = "::/0";

std::vector<std::string> Fields(const std::string& text)
{
    std::vector<std::string> fields;
    std::istringstream words(text);
    std::string word;
    while (words >> word) fields.push_back(word);
    return fields;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// ufw drops a last odd digit; anything that is not hex gives no comment at all.
std::string HexDecoded(const std::string& hex)
{
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
        const int high = HexValue(hex[at]);
        const int low = HexValue(hex[at + 1]);
        if (high < 0 || low < 0) return std::string();
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

// A whole decimal number from 1 to 65535, or 0.
int PortNumber(const std::string& text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value >= 1 && value <= 65535 ? static_cast<int>(value) : 0;
}

bool PortItemHolds(const std::string& item, int port)
{
    const auto colon = item.find(':');
    if (colon == std::string::npos) return PortNumber(item) == port;
    const int low = PortNumber(item.substr(0, colon));
    const int high = PortNumber(item.substr(colon + 1));
    return low != 0 && high != 0 && low <= port && port <= high;
}

bool IsAction(const std::string& action, const std::string& word)
{
    return action == word || action.rfind(word + "_", 0) == 0;
}

// The rule meets traffic to the port for the protocol from anywhere in its family.
bool Covers(const UfwRule& rule, int port, Protocol protocol, const std::string& anyAddress)
{
    return (rule.protocol == ProtocolName(protocol) || rule.protocol == "any") && PortListHolds(rule.ports, port) &&
           rule.from == anyAddress && rule.fromPorts == "any";
}

// An allow or a limit to any address on every interface lets the port in.
bool LetsIn(const UfwRule& rule, const std::string& anyAddress)
{
    return (IsAction(rule.action, "allow") || IsAction(rule.action, "limit")) && rule.to == anyAddress &&
           rule.direction == "in";
}

// A deny or reject of incoming traffic, on any interface and to any address.
bool Refuses(const UfwRule& rule)
{
    return (IsAction(rule.action, "deny") || IsAction(rule.action, "reject")) &&
           (rule.direction == "in" || rule.direction.rfind("in_", 0) == 0);
}

} // namespace

std::vector<UfwRule> ParseUfwRules(const std::string& rulesText)
{
    std::vector<UfwRule> rules;
    std::istringstream lines(rulesText);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(kTupleMark, 0) != 0) continue;
        std::string comment;
        const auto commentAt = line.find(kCommentMark);
        if (commentAt != std::string::npos) {
            const std::vector<std::string> hex = Fields(line.substr(commentAt + kCommentMark.size()));
            if (!hex.empty()) comment = HexDecoded(hex.front());
            line.erase(commentAt);
        }
        const std::vector<std::string> f = Fields(line.substr(kTupleMark.size()));
        // 6 or 8 fields (with applications) in the old format without a direction.
        if (f.size() < 6 || f.size() > 9) continue;
        const bool hasDirection = f.size() == 7 || f.size() == 9;
        rules.push_back(UfwRule{f[0], f[1], f[2], f[3], f[4], f[5], hasDirection ? f.back() : "in", comment});
    }
    return rules;
}

bool PortListHolds(const std::string& ports, int port)
{
    if (ports == "any") return true;
    std::istringstream items(ports);
    std::string item;
    while (std::getline(items, item, ','))
        if (PortItemHolds(item, port)) return true;
    return false;
}

namespace {

// The first rule of one family that lets the port in or refuses it, as ufw meets them.
UfwDecision FirstDeciding(const std::vector<UfwRule>& rules, int port, Protocol protocol, bool ipv6)
{
    const std::string& anyAddress = ipv6 ? kAnyIpv6 : kAnyIpv4;
    for (const UfwRule& rule : rules) {
        if (!Covers(rule, port, protocol, anyAddress)) continue;
        if (LetsIn(rule, anyAddress)) return {UfwVerdict::LetIn, rule, ipv6};
        if (Refuses(rule)) return {UfwVerdict::Refused, rule, ipv6};
    }
    return {};
}

} // namespace

bool HoldsOwnRule(const std::vector<UfwRule>& rules, int port, Protocol protocol, Family family,
                  const std::string& name)
{
    const std::string& anyAddress = family == Family::Ipv6 ? kAnyIpv6 : kAnyIpv4;
    return std::any_of(rules.begin(), rules.end(), [&](const UfwRule& rule) {
        return rule.action == "allow" && rule.protocol == ProtocolName(protocol) &&
               rule.ports == std::to_string(port) && Covers(rule, port, protocol, anyAddress) &&
               LetsIn(rule, anyAddress) && rule.comment == name;
    });
}

UfwDecision DecideIpv6(const std::vector<UfwRule>& ipv6, int port, Protocol protocol)
{
    return FirstDeciding(ipv6, port, protocol, true);
}

UfwDecision DecidePort(const std::vector<UfwRule>& ipv4, const std::vector<UfwRule>& ipv6, int port,
                       Protocol protocol)
{
    const UfwDecision first = FirstDeciding(ipv4, port, protocol, false);
    if (first.verdict != UfwVerdict::Undecided) return first;
    for (const UfwRule& rule : ipv6)
        if (Covers(rule, port, protocol, kAnyIpv6) && Refuses(rule)) return {UfwVerdict::Refused, rule, true};
    return {};
}

} // namespace firewall
