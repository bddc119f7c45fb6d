#include "record/forward_record.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>

namespace {

constexpr std::string_view kMappingKind = "mapping";

using Fields = std::map<std::string, std::string, std::less<>>;

bool IsOneOf(const std::string& value, std::initializer_list<std::string_view> allowed)
{
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

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

std::optional<RecordedForward> ReadForward(Fields& fields, std::string& problem)
{
    for (const char* required : {"protocol", "external-port", "internal-address", "internal-port", "family", "how",
                                 "lifetime", "granted"})
        if (!fields.count(required)) {
            problem = std::string("the field ") + required + " is missing";
            return std::nullopt;
        }
    RecordedForward forward;
    forward.protocol = fields["protocol"];
    forward.internalAddress = fields["internal-address"];
    forward.family = fields["family"];
    forward.how = fields["how"];
    forward.gateway = {fields["gateway-udn"], fields["gateway-address"], fields["gateway-link"]};
    forward.nonce = fields["nonce"];
    forward.externalAddress = fields["external-address"];
    forward.firewallEntry = fields["firewall"];
    forward.pinholeId = fields["pinhole"];
    forward.forwardAddress = fields["for-address"];
    forward.description = fields["description"];
    forward.closing = fields.count("closing") != 0;
    if (!IsOneOf(forward.protocol, {"TCP", "UDP"})) problem = "the protocol is not TCP or UDP";
    else if (!IsOneOf(forward.family, {"IPv4", "IPv6"})) problem = "the family is not IPv4 or IPv6";
    else if (!IsOneOf(forward.how, {"UPnP", "PCP", "NAT-PMP", "system"})) problem = "how it was made is unknown";
    else if (!ReadNumber(fields["external-port"], forward.externalPort) || forward.externalPort < 1 ||
             forward.externalPort > 65535 || !ReadNumber(fields["internal-port"], forward.internalPort) ||
             forward.internalPort < 1 || forward.internalPort > 65535)
        problem = "a port is not a number from 1 to 65535";
    else if (!ReadNumber(fields["lifetime"], forward.lifetime) || forward.lifetime < 0 ||
             !ReadNumber(fields["granted"], forward.grantedAt))
        problem = "the lifetime or the time it was granted is not a number";
    else if (fields.count("checked") && !ReadNumber(fields["checked"], forward.checkedAt))
        problem = "the time it was last checked is not a number";
    else if (fields.count("epoch") && (!ReadNumber(fields["epoch"], forward.epoch) || forward.epoch < 0))
        problem = "the router's epoch is not a number";
    else if (forward.internalAddress.empty()) problem = "the internal address is empty";
    // A pinhole is reached again only by its id (PCP's: by its nonce), and found only by
    // its forward's address.
    else if (forward.family == "IPv6" &&
             ((forward.how == "PCP" ? forward.nonce : forward.pinholeId).empty() || forward.forwardAddress.empty()))
        problem = "a pinhole lacks its id or its forward's address";
    if (!problem.empty()) return std::nullopt;
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

bool operator==(const GatewayIdentity& a, const GatewayIdentity& b)
{
    return std::tie(a.udn, a.address, a.linkAddress) == std::tie(b.udn, b.address, b.linkAddress);
}

bool operator==(const RecordedForward& a, const RecordedForward& b)
{
    const auto fields = [](const RecordedForward& f) {
        return std::tie(f.protocol, f.externalPort, f.internalAddress, f.internalPort, f.family, f.how, f.gateway,
                        f.nonce, f.externalAddress, f.lifetime, f.grantedAt, f.checkedAt, f.epoch, f.firewallEntry,
                        f.pinholeId, f.forwardAddress, f.description, f.closing);
    };
    return fields(a) == fields(b);
}

bool SameGateway(const GatewayIdentity& recorded, const GatewayIdentity& current)
{
    const auto agree = [](const std::string& a, const std::string& b) { return a.empty() || b.empty() || a == b; };
    return recorded.address == current.address && agree(recorded.udn, current.udn) &&
           agree(recorded.linkAddress, current.linkAddress);
}

bool MadeOnDevice(const RecordedForward& forward, const GatewayIdentity& answered)
{
    if (forward.gateway.address != answered.address) return false;
    const std::string& udn = forward.gateway.udn;
    if (MadeThroughUpnp(forward) && !udn.empty() && !answered.udn.empty()) return udn == answered.udn;
    const std::string& link = forward.gateway.linkAddress;
    return !link.empty() && link == answered.linkAddress;
}

bool MadeThroughUpnp(const RecordedForward& forward) { return forward.how == "UPnP" || forward.how == "system"; }

const std::string& ForwardAddress(const RecordedForward& forward)
{
    return forward.family == "IPv6" ? forward.forwardAddress : forward.internalAddress;
}

bool SameMapping(const RecordedForward& a, const RecordedForward& b)
{
    return a.protocol == b.protocol && a.externalPort == b.externalPort && a.family == b.family &&
           a.internalAddress == b.internalAddress && a.gateway == b.gateway;
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
    for (const RecordedForward& f : forwards) {
        std::string line(kMappingKind);
        Field(line, "protocol", f.protocol);
        Field(line, "external-port", std::to_string(f.externalPort));
        Field(line, "internal-address", f.internalAddress);
        Field(line, "internal-port", std::to_string(f.internalPort));
        Field(line, "family", f.family);
        Field(line, "how", f.how);
        Field(line, "gateway-udn", f.gateway.udn);
        Field(line, "gateway-address", f.gateway.address);
        Field(line, "gateway-link", f.gateway.linkAddress);
        Field(line, "nonce", f.nonce);
        Field(line, "external-address", f.externalAddress);
        Field(line, "lifetime", std::to_string(f.lifetime));
        Field(line, "granted", std::to_string(f.grantedAt));
        if (f.checkedAt != 0) Field(line, "checked", std::to_string(f.checkedAt));
        if (f.epoch >= 0) Field(line, "epoch", std::to_string(f.epoch));
        Field(line, "firewall", f.firewallEntry);
        if (f.family == "IPv6") {
            Field(line, "pinhole", f.pinholeId);
            Field(line, "for-address", f.forwardAddress);
        }
        Field(line, "description", f.description);
        if (f.closing) Field(line, "closing", "yes");
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
