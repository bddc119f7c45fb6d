#include "port_list.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

enum Field {
    Protocol,
    ExternalPort,
    Address,
    InternalPort,
    Family,
    How,
    SecondsLeft,
    KeptOpen,
    MadeHere,
    Firewall,
    Description,
    FieldCount
};

const QChar separator = QLatin1Char('\t');

// Digits only: no sign, blank or other form a number could also take.
std::optional<qint64> decimal(const QString &text)
{
    if (text.isEmpty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return std::nullopt;
    return text.toLongLong();
}

std::optional<int> portNumber(const QString &text)
{
    const std::optional<qint64> port = decimal(text);
    if (!port || *port < 1 || *port > 65535)
        return std::nullopt;
    return static_cast<int>(*port);
}

std::optional<bool> yesNo(const QString &text)
{
    if (text == QLatin1String("yes"))
        return true;
    if (text == QLatin1String("no"))
        return false;
    return std::nullopt;
}

bool isOneOf(const QString &text, std::initializer_list<const char *> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char *word) { return text == QLatin1String(word); });
}

std::optional<OpenPort> readPort(const QString &line)
{
    const QStringList fields = line.split(separator);
    if (fields.size() != FieldCount)
        return std::nullopt;
    OpenPort port;
    port.protocol = fields[Protocol];
    port.address = fields[Address];
    port.family = fields[Family];
    port.how = fields[How];
    port.description = fields[Description];
    const std::optional<int> external = portNumber(fields[ExternalPort]);
    const std::optional<int> internal = portNumber(fields[InternalPort]);
    const std::optional<qint64> secondsLeft = decimal(fields[SecondsLeft]);
    const std::optional<bool> kept = yesNo(fields[KeptOpen]);
    const std::optional<bool> made = yesNo(fields[MadeHere]);
    const std::optional<bool> firewall = yesNo(fields[Firewall]);
    if (!isOneOf(port.protocol, {"TCP", "UDP"}) || !external || port.address.isEmpty() || !internal ||
        !isOneOf(port.family, {"IPv4", "IPv6"}) || !isOneOf(port.how, {"UPnP", "PCP", "NAT-PMP", "system", "firewall"}) ||
        !secondsLeft || !kept || !made || !firewall)
        return std::nullopt;
    port.externalPort = *external;
    port.internalPort = *internal;
    port.secondsLeft = *secondsLeft;
    port.keptOpen = *kept;
    port.madeHere = *made;
    port.firewallEntry = *firewall;
    return port;
}

} // namespace

PortList readPortList(const QStringList &answer)
{
    PortList list;
    if (answer.size() == 1 && !answer.first().contains(separator)) {
        list.failure = answer.first();
        return list;
    }
    for (const QString &line : answer) {
        if (const std::optional<OpenPort> port = readPort(line))
            list.ports.append(*port);
        else
            list.unread.append(line);
    }
    std::stable_sort(list.ports.begin(), list.ports.end(), [](const OpenPort &a, const OpenPort &b) {
        return std::tie(a.externalPort, a.protocol, a.address) < std::tie(b.externalPort, b.protocol, b.address);
    });
    return list;
}
