#include "firewall/linux/firewalld/rich_rule.h"

#include <cstdlib>
#include <map>
#include <vector>

namespace firewall {
namespace {

// `rule family="ipv4" port port="80-90" protocol="tcp" reject`: each attribute belongs
// to the element named last before it; the rule's own attributes (family) to "rule".
using Elements = std::map<std::string, std::map<std::string, std::string>>;

// Splits at blanks outside double quotes, the quotes dropped.
std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

Elements ReadElements(const std::string& text)
{
    Elements elements;
    std::string element;
    for (const std::string& word : Words(text)) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) {
            element = word;
            elements[element];
        } else {
            elements[element][word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    return elements;
}

// "80" or "80-90".
bool RangeHolds(const std::string& range, int port)
{
    char* end = nullptr;
    const long low = std::strtol(range.c_str(), &end, 10);
    if (end == range.c_str()) return false;
    long high = low;
    if (*end == '-') {
        const char* rest = end + 1;
        high = std::strtol(rest, &end, 10);
        if (end == rest) return false;
    }
    return *end == '\0' && low <= port && port <= high;
}

} // namespace

bool RichRuleRefuses(const std::string& text, int port, Protocol protocol)
{
    const Elements elements = ReadElements(text);
    const auto has = [&elements](const char* name) { return elements.count(name) != 0; };
    if (!has("rule") || !(has("reject") || has("drop"))) return false;
    const auto family = elements.at("rule").find("family");
    if (family != elements.at("rule").end() && family->second != "ipv4") return false;
    // Senders or traffic of other kinds.
    for (const char* narrower : {"source", "source-port", "service", "icmp-block", "icmp-type", "masquerade",
                                 "forward-port", "tcp-mss-clamp"})
        if (has(narrower)) return false;
    const std::string name = ProtocolName(protocol);
    if (has("port")) {
        const auto& attributes = elements.at("port");
        const auto number = attributes.find("port");
        const auto kind = attributes.find("protocol");
        return number != attributes.end() && kind != attributes.end() && kind->second == name &&
               RangeHolds(number->second, port);
    }
    if (has("protocol")) {
        const auto value = elements.at("protocol").find("value");
        return value != elements.at("protocol").end() && value->second == name;
    }
    return true;  // every packet of the family, ours included
}

} // namespace firewall
