#include "record/forward_record.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>

namespace {

constexpr std::string_view kMappingKind = "mapping";

using Fields = std::map<std::string, std::string, std::less<>>;

template <class Number> bool ReadNumber(const std::string& text, Number& number)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    return !text.empty() && error == std::errc() && stop == end;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t stop = text.find(separator, start);
        parts.push_back(text.substr(start, stop - start));
        if (stop == std::string_view::npos) return parts;
        start = stop + 1;
    }
}

// The fields of one entry line, or why it has none.
std::optional<Fields> ReadFields(const std::vector<std::string_view>& parts, std::string& problem)
{
    Fields fields;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t equals = parts[i].find('=');
        if (equals == std::string_view::npos) {
            problem = "a field without '=' (\"" + std::string(parts[i].substr(0, 40)) + "\")";
            return std::nullopt;
        }
        fields.emplace(std::string(parts[i].substr(0, equals)), std::string(parts[i].substr(equals + 1)));
    }
    return fields;
}

// A number that fits `number`'s type: a longer one is no number of ours.
template <class Number> bool ReadField(Fields& fields, const char* name, Number& number)
{
    return ReadNumber(fields[name], number);
}

std::optional<RecordedForward> ReadForward(Fields& fields, std::string& problem)
{
    for (const char* required : {"protocol", "external-port", "internal-address", "internal-port", "family", "how",
                                 "lifetime", "granted"})
        if (!fields.count(required)) {
            problem = std::string("the field ") + required + " is missing";
            return std::nullopt;
        }
    RecordedForward forward;
    gateway::Grant& g = forward.grant;
    g.internalAddress = fields["internal-address"];
    g.gateway = {fields["gateway-udn"], fields["gateway-address"], fields["gateway-link"]};
    g.nonce = fields["nonce"];
    g.externalAddress = fields["external-address"];
    g.pinholeId = fields["pinhole"];
    g.forwardAddress = fields["for-address"];
    g.description = fields["description"];
    forward.firewallEntry = fields["firewall"];
    forward.closing = fields.count("closing") != 0;
    // Anything but "yes" is this machine's own, as an entry without the field is.
    forward.anotherDevice = fields["another-device"] == "yes";
    const auto protocol = Parse<Protocol>(fields["protocol"]);
    const auto family = Parse<Family>(fields["family"]);
    const auto method = Parse<Method>(fields["how"]);
    long long lease = 0;
    std::uint32_t epoch = 0;
    if (!protocol) problem = "the protocol is not TCP or UDP";
    else if (!family) problem = "the family is not IPv4 or IPv6";
    else if (!method) problem = "how it was made is unknown";
    else if (!ReadField(fields, "external-port", g.externalPort) || !IsPortNumber(g.externalPort) ||
             !ReadField(fields, "internal-port", g.internalPort) || !IsPortNumber(g.internalPort))
        problem = "a port is not a number from 1 to 65535";
    else if (!ReadField(fields, "lifetime", lease) || lease < 0 || !ReadField(fields, "granted", g.grantedAt))
        problem = "the lifetime or the time it was granted is not a number";
    else if (fields.count("checked") && !ReadField(fields, "checked", forward.checkedAt))
        problem = "the time it was last checked is not a number";
    else if (fields.count("epoch") && !ReadField(fields, "epoch", epoch))
        problem = "the router's epoch is not a number";
    else if (g.internalAddress.empty()) problem = "the internal address is empty";
    if (!problem.empty()) return std::nullopt;
    g.protocol = *protocol;
    g.family = *family;
    g.method = *method;
    g.lease = lease;
    if (fields.count("epoch")) g.epoch = epoch;
    // A pinhole is reached again only by its id (PCP's: by its nonce), and found only by
    // its forward's address.
    if (g.family == Family::Ipv6 &&
        ((g.method == Method::Pcp ? g.nonce : g.pinholeId).empty() || g.forwardAddress.empty())) {
        problem = "a pinhole lacks its id or its forward's address";
        return std::nullopt;
    }
    return forward;
}

// A value never carries the separators of the format.
std::string Clean(const std::string& value)
{
    std::string clean = value;
    std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return clean;
}

void Field(std::string& line, const char* name, const std::string& value)
{
    if (!value.empty()) line += std::string("\t") + name + "=" + Clean(value);
}

} // namespace

bool operator==(const RecordedForward& a, const RecordedForward& b)
{
    return std::tie(a.grant, a.checkedAt, a.firewallEntry, a.closing, a.anotherDevice) ==
           std::tie(b.grant, b.checkedAt, b.firewallEntry, b.closing, b.anotherDevice);
}

bool SameGateway(const gateway::Identity& recorded, const gateway::Identity& current)
{
    const auto agree = [](const std::string& a, const std::string& b) { return a.empty() || b.empty() || a == b; };
    return recorded.address == current.address && agree(recorded.udn, current.udn) &&
           agree(recorded.linkAddress, current.linkAddress);
}

bool MadeOnDevice(const RecordedForward& forward, const gateway::Identity& answered)
{
    const gateway::Identity& made = forward.grant.gateway;
    if (made.address != answered.address) return false;
    if (ThroughUpnp(forward.grant.method) && !made.udn.empty() && !answered.udn.empty())
        return made.udn == answered.udn;
    return !made.linkAddress.empty() && made.linkAddress == answered.linkAddress;
}

long long Lifetime(const RecordedForward& forward) { return std::max(forward.grant.lease.value_or(0), 0LL); }

const std::string& ForwardAddress(const RecordedForward& forward)
{
    return forward.grant.family == Family::Ipv6 ? forward.grant.forwardAddress : forward.grant.internalAddress;
}

bool SameMapping(const RecordedForward& a, const RecordedForward& b)
{
    const gateway::Grant &x = a.grant, &y = b.grant;
    return std::tie(x.protocol, x.externalPort, x.family, x.internalAddress, x.gateway) ==
           std::tie(y.protocol, y.externalPort, y.family, y.internalAddress, y.gateway);
}

RecordReading ParseRecord(std::string_view text)
{
    RecordReading reading;
    if (text.empty() || text.back() != '\n') {
        reading.damage = "it is cut short (its last line has no end)";
        return reading;
    }
    const std::vector<std::string_view> lines = Split(text.substr(0, text.size() - 1), '\n');
    if (lines.front() != kRecordHeader && lines.front() != std::string(kRecordHeader) + "\r") {
        reading.damage = std::string("its first line is not \"") + kRecordHeader + "\"";
        return reading;
    }
    for (std::size_t number = 2; number <= lines.size(); ++number) {
        std::string_view line = lines[number - 1];
        // A person's editor may have made the line ends CR LF.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::vector<std::string_view> parts = Split(line, '\t');
        std::string problem = parts.front() == kMappingKind ? "" : "it is not a mapping";
        std::optional<Fields> fields;
        std::optional<RecordedForward> forward;
        if (problem.empty()) fields = ReadFields(parts, problem);
        if (fields) forward = ReadForward(*fields, problem);
        if (!forward) {
            reading.forwards.clear();
            reading.damage = "line " + std::to_string(number) + ": " + problem;
            return reading;
        }
        reading.forwards.push_back(std::move(*forward));
    }
    return reading;
}

std::string FormatRecord(const std::vector<RecordedForward>& forwards)
{
    std::string text = std::string(kRecordHeader) + "\n";
    text += "# What Varneth opened for this user; Kavro's renew, list and close read it. One line per mapping.\n";
    for (const RecordedForward& forward : forwards) {
        const gateway::Grant& g = forward.grant;
        std::string line(kMappingKind);
        Field(line, "protocol", std::string(Name(g.protocol)));
        Field(line, "external-port", std::to_string(g.externalPort));
        Field(line, "internal-address", g.internalAddress);
        Field(line, "internal-port", std::to_string(g.internalPort));
        Field(line, "family", std::string(Name(g.family)));
        Field(line, "how", std::string(Name(g.method)));
        Field(line, "gateway-udn", g.gateway.udn);
        Field(line, "gateway-address", g.gateway.address);
        Field(line, "gateway-link", g.gateway.linkAddress);
        Field(line, "nonce", g.nonce);
        Field(line, "external-address", g.externalAddress);
        Field(line, "lifetime", std::to_string(Lifetime(forward)));
        Field(line, "granted", std::to_string(g.grantedAt));
        if (forward.checkedAt != 0) Field(line, "checked", std::to_string(forward.checkedAt));
        if (g.epoch) Field(line, "epoch", std::to_string(*g.epoch));
        Field(line, "firewall", forward.firewallEntry);
        if (g.family == Family::Ipv6) {
            Field(line, "pinhole", g.pinholeId);
            Field(line, "for-address", g.forwardAddress);
        }
        Field(line, "description", g.description);
        if (forward.anotherDevice) Field(line, "another-device", "yes");
        if (forward.closing) Field(line, "closing", "yes");
        text += line + "\n";
    }
    return text;
}

void Remember(std::vector<RecordedForward>& forwards, const RecordedForward& forward)
{
    const auto same = std::find_if(forwards.begin(), forwards.end(),
                                   [&](const RecordedForward& held) { return SameMapping(held, forward); });
    if (same == forwards.end()) {
        forwards.push_back(forward);
        return;
    }
    // Forwarded again, the firewall already lets the port in: through the entry we made
    // the first time, which stays ours to remove.
    const std::string madeBefore = same->firewallEntry;
    *same = forward;
    if (same->firewallEntry.empty()) same->firewallEntry = madeBefore;
}
