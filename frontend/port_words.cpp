#include "port_words.h"

QString destinationText(const OpenPort &port)
{
    if (port.internalPort == port.externalPort)
        return port.address;
    return port.address + (port.family == QLatin1String("IPv6") ? QStringLiteral(" port ") : QStringLiteral(":")) +
           QString::number(port.internalPort);
}

QString portSubject(const OpenPort &port)
{
    return port.protocol + QLatin1Char(' ') + QString::number(port.externalPort) + QStringLiteral(" to ") +
           destinationText(port);
}

QString timeLeftText(const OpenPort &port)
{
    if (port.keptOpen)
        return QStringLiteral("kept open");
    const qint64 seconds = port.secondsLeft;
    if (seconds == 0)
        return QStringLiteral("no end");
    constexpr qint64 minute = 60, hour = 60 * minute, day = 24 * hour;
    if (seconds >= day)
        return countOf(seconds / day, "day", "days") + QLatin1Char(' ') + QString::number(seconds % day / hour) +
               QStringLiteral(" h");
    if (seconds >= hour)
        return QString::number(seconds / hour) + QStringLiteral(" h ") + QString::number(seconds % hour / minute) +
               QStringLiteral(" min");
    if (seconds >= minute)
        return QString::number(seconds / minute) + QStringLiteral(" min");
    return QString::number(seconds) + QStringLiteral(" s");
}

QString howText(const OpenPort &port)
{
    if (port.how == QLatin1String("firewall"))
        return QStringLiteral("this computer's firewall only");
    return port.how == QLatin1String("system") ? QStringLiteral("UPnP") : port.how;
}

QString madeByText(const OpenPort &port)
{
    if (port.madeHere)
        return QStringLiteral("this tool");
    if (port.description.trimmed().isEmpty())
        return QStringLiteral("another program");
    return QStringLiteral("another program (\"%1\")").arg(port.description.trimmed());
}

QStringList portColumnHeaders()
{
    return {QStringLiteral("Protocol"),  QStringLiteral("Port"),           QStringLiteral("Address"),
            QStringLiteral("How"),       QStringLiteral("Time left"),      QStringLiteral("Firewall entry"),
            QStringLiteral("Made by")};
}

QStringList portColumns(const OpenPort &port)
{
    return {port.protocol,         QString::number(port.externalPort),
            destinationText(port), howText(port),
            timeLeftText(port),    port.firewallEntry ? QStringLiteral("yes") : QStringLiteral("no"),
            madeByText(port)};
}

QString countOf(qint64 number, const char *one, const char *many)
{
    return QString::number(number) + QLatin1Char(' ') + QLatin1String(number == 1 ? one : many);
}
