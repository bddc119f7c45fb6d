#include "command_arguments.h"

#include "close_command.h"
#include "protocol_flag.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

struct Word {
    const char *name;
    CommandWord word;
    bool takesPort;   // ADDRESS PORT after the word
    QStringList options; // beside --verbose
};

const Word words[] = {
    {"forward", CommandWord::Forward, true, {QStringLiteral("--tcp"), QStringLiteral("--udp"), QStringLiteral("--ipv6")}},
    {"list", CommandWord::List, false, {QStringLiteral("--tab")}},
    {"close", CommandWord::Close, true, {QStringLiteral("--tcp"), QStringLiteral("--udp"), QStringLiteral("--all")}},
    {"renew", CommandWord::Renew, false, {}},
    {"addresses", CommandWord::Addresses, false, {}},
};

const char *const alone[] = {"--help", "--version", "--verbose"};

const Word *findWord(const QString &name)
{
    const auto found = std::find_if(std::begin(words), std::end(words),
                                    [&](const Word &word) { return name == QLatin1String(word.name); });
    return found == std::end(words) ? nullptr : found;
}

// Four numbers from 0 to 255 and nothing else: anchored at both ends, so no line end
// after it passes either.
bool isDottedIpv4(const QString &text)
{
    static const QRegularExpression dotted(QRegularExpression::anchoredPattern(
        QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}")));
    return dotted.match(text).hasMatch();
}

// ASCII digits only (no sign, blank or other script's digits), 1 to 65535.
std::optional<int> portNumber(const QString &text)
{
    if (text.isEmpty() ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return std::nullopt;
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

QString optionsOf(const Word &word)
{
    QStringList options = word.options;
    options.append(QStringLiteral("--verbose"));
    return options.join(QStringLiteral(", "));
}

} // namespace

bool startsCommandLine(const char *first)
{
    return first != nullptr &&
           (findWord(QString::fromLatin1(first)) != nullptr ||
            std::any_of(std::begin(alone), std::end(alone), [&](const char *word) { return std::strcmp(first, word) == 0; }));
}

std::variant<Invocation, QString> readArguments(const QStringList &arguments)
{
    Invocation invocation;
    QStringList operands, options;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("--version")) {
            invocation.word = argument == QLatin1String("--help") ? CommandWord::Help : CommandWord::Version;
            return invocation;
        }
        (argument.startsWith(QLatin1Char('-')) ? options : operands).append(argument);
    }
    const Word *word = operands.isEmpty() ? nullptr : findWord(operands.takeFirst());
    if (!word)
        return QStringLiteral("The first word must be a command: forward, list, close, renew or addresses.");
    invocation.word = word->word;
    for (const QString &option : options) {
        if (option != QLatin1String("--verbose") && !word->options.contains(option))
            return QStringLiteral("\"%1\" takes only these options: %2.").arg(QLatin1String(word->name), optionsOf(*word));
        bool &set = option == QLatin1String("--tcp")    ? invocation.tcp
                    : option == QLatin1String("--udp")  ? invocation.udp
                    : option == QLatin1String("--ipv6") ? invocation.ipv6
                    : option == QLatin1String("--all")  ? invocation.all
                    : option == QLatin1String("--tab")  ? invocation.tab
                                                        : invocation.verbose;
        set = true;
    }
    if (invocation.all) {
        if (!operands.isEmpty() || invocation.tcp || invocation.udp)
            return QStringLiteral("\"close --all\" closes everything this tool opened for you: give it no address, "
                                  "port, --tcp or --udp.");
        return invocation;
    }
    if (!word->takesPort) {
        if (!operands.isEmpty())
            return QStringLiteral("\"%1\" takes no address or port.").arg(QLatin1String(word->name));
        return invocation;
    }
    if (operands.size() != 2)
        return QStringLiteral("\"%1\" needs an address and a port, as in: varneth %1 192.168.1.20 8080")
            .arg(QLatin1String(word->name));
    if (!isDottedIpv4(operands[0]))
        return QStringLiteral("The address must be an IPv4 address of four numbers from 0 to 255 with dots "
                              "between them, such as 192.168.1.20 (\"varneth addresses\" lists this machine's).");
    const std::optional<int> port = portNumber(operands[1]);
    if (!port)
        return QStringLiteral("The port must be a number from 1 to 65535.");
    invocation.address = operands[0];
    invocation.port = *port;
    // Neither asked for: both, as most programs that listen on a port need.
    if (!invocation.tcp && !invocation.udp)
        invocation.tcp = invocation.udp = true;
    return invocation;
}

QStringList moduleCommand(const Invocation &invocation)
{
    switch (invocation.word) {
    case CommandWord::Forward: {
        QStringList command{QStringLiteral("kavro"), invocation.address, QString::number(invocation.port),
                            protocolFlag(invocation.tcp), protocolFlag(invocation.udp)};
        if (invocation.ipv6)
            command.append(protocolFlag(true));
        return command;
    }
    case CommandWord::Close: {
        if (invocation.all)
            return {QStringLiteral("close"), QStringLiteral("all")};
        QList<OpenPort> ports;
        for (const auto &[protocol, asked] : {std::pair{"TCP", invocation.tcp}, std::pair{"UDP", invocation.udp}})
            if (asked) {
                OpenPort port;
                port.protocol = QLatin1String(protocol);
                port.address = invocation.address;
                port.externalPort = port.internalPort = invocation.port;
                ports.append(port);
            }
        return closeCommand(ports);
    }
    case CommandWord::List:
        return {QStringLiteral("list")};
    case CommandWord::Renew:
        return {QStringLiteral("renew")};
    case CommandWord::Addresses:
        return {QStringLiteral("getips")};
    case CommandWord::Help:
    case CommandWord::Version:
        break;
    }
    return {};
}

QString usageText()
{
    return QStringLiteral(
        "Usage: varneth                                  the window\n"
        "       varneth forward ADDRESS PORT [--tcp] [--udp] [--ipv6]\n"
        "       varneth list [--tab]\n"
        "       varneth close ADDRESS PORT [--tcp] [--udp]\n"
        "       varneth close --all\n"
        "       varneth renew\n"
        "       varneth addresses\n"
        "       varneth --help | --version\n"
        "\n"
        "Opens a port of this computer to the Internet: asks the router for a port mapping\n"
        "(UPnP IGD, PCP or NAT-PMP), lets the port in through this computer's firewall when\n"
        "it is on, and keeps it open until it is closed.\n"
        "\n"
        "  forward    opens PORT to ADDRESS, one of this computer's IPv4 addresses; TCP and\n"
        "             UDP unless --tcp or --udp says which; --ipv6 opens it over IPv6 too\n"
        "  list       the ports the router holds open for this computer; --tab gives the\n"
        "             fields tab-separated, for scripts\n"
        "  close      closes PORT to ADDRESS (TCP and UDP unless told which); --all closes\n"
        "             every port this tool opened for you\n"
        "  renew      asks the router again for the ports kept open, as the timer does\n"
        "  addresses  this computer's IPv4 addresses, one a line\n"
        "  --verbose  also prints everything the module said, after the answer\n"
        "\n"
        "Sentences go to standard error, lists to standard output. Exit status: 0 when it\n"
        "worked (list and addresses: when the module answered), 1 when it did not, 2 when\n"
        "the command was not understood.\n");
}
