#include "outcome_text.h"

#include "module_ids.h"
#include "module_output.h"
#include "port_words.h"

const char *const listFailedText = "Could not list the open ports.";
const char *const nothingOpenText = "This machine has no open ports through the router.";

namespace {

bool ipv6GetsAround(const ModuleOutput &output)
{
    return output.said(moduleid::cgnat) || output.said(moduleid::noInternetAddress) ||
           output.said(moduleid::noneAnswered) || output.said(moduleid::noDefaultGateway);
}

// The unread lines named; the rest counted.
constexpr int unreadLinesShown = 3;
constexpr int unreadLineCharacters = 80;

} // namespace

ForwardOutcome forwardOutcome(const QStringList &answer, const ModuleOutput &output, bool overIpv6)
{
    ForwardOutcome outcome;
    // An empty result counts as an error with no text.
    const QString firstLine = answer.isEmpty() ? QString() : answer.first();
    outcome.succeeded = firstLine == QLatin1String("0");
    // Asked over IPv6 because IPv4 could not be opened: a port reachable over IPv6 is what
    // was asked for, and the IPv4 reason stays beside it.
    if (!outcome.succeeded && overIpv6 && output.said(moduleid::reachableOverIpv6)) {
        outcome.succeeded = true;
        outcome.text = QStringLiteral("Port forward success over IPv6!");
        outcome.informative = failureReasons(answer, output.informativeText(false));
        return outcome;
    }
    outcome.text = outcome.succeeded ? QStringLiteral("Port forward success!")
                                     : QStringLiteral("Port forward error: \n") + firstLine;
    const bool offer =
        !overIpv6 && output.said(moduleid::ipv6Offer) && (outcome.succeeded || ipv6GetsAround(output));
    // The offer's sentence goes with its button.
    outcome.informative = output.informativeText(outcome.succeeded, offer ? nullptr : moduleid::ipv6Offer);
    if (offer)
        outcome.ipv6Offer =
            outcome.succeeded ? QStringLiteral("Also open over IPv6") : QStringLiteral("Open over IPv6 instead");
    return outcome;
}

QString closeFailedText(int ports)
{
    return ports == 1 ? QStringLiteral("Could not close the port.")
                      : QStringLiteral("Could not close every selected port.");
}

QString failureReasons(const QStringList &answer, const QString &headlines)
{
    QStringList reasons;
    if (!answer.value(0).isEmpty())
        reasons.append(answer.first());
    for (const QString &headline : headlines.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!reasons.contains(headline))
            reasons.append(headline);
    return reasons.join(QLatin1Char('\n'));
}

QString unreadLinesText(const QStringList &unread, const QString &tryAgain)
{
    QStringList text{countOf(unread.size(), "line", "lines") +
                     QStringLiteral(" of the module's answer could not be read and %1 left out:")
                         .arg(QLatin1String(unread.size() == 1 ? "is" : "are"))};
    for (const QString &line : unread.mid(0, unreadLinesShown)) {
        QString shown = line;
        shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
        text.append(
            QLatin1Char('"') +
            (shown.size() > unreadLineCharacters ? shown.left(unreadLineCharacters) + QStringLiteral("...") : shown) +
            QLatin1Char('"'));
    }
    if (unread.size() > unreadLinesShown)
        text.append(QStringLiteral("and %1 more.").arg(unread.size() - unreadLinesShown));
    text.append(tryAgain);
    return text.join(QLatin1Char('\n'));
}
