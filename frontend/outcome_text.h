#ifndef VARNETH_OUTCOME_TEXT_H
#define VARNETH_OUTCOME_TEXT_H

#include <QString>
#include <QStringList>

class ModuleOutput;

// What the window says of the module's answers, in its boxes and its open ports dialog.
// The command line says the same words, so the two never tell a user different things.

// A forward's outcome box.
struct ForwardOutcome {
    bool succeeded = false;
    bool firewallOnly = false; // not mapped, yet let in through this machine's firewall: a warning
    QString text;        // its first line, which repeats the module's answer
    QString informative; // its own sentences: the module's headlines, the address to share first
    QString ipv6Offer;   // the button that forwards once more over IPv6; empty: none offered
};

// `overIpv6`: the forward asked for IPv6 pinholes already, so nothing more is offered.
ForwardOutcome forwardOutcome(const QStringList &answer, const ModuleOutput &output, bool overIpv6);

// The first lines of the boxes that say "list" or "close" failed.
extern const char *const listFailedText;
QString closeFailedText(int ports);

// Below such a first line: the module's answer, then its headlines, each once.
QString failureReasons(const QStringList &answer, const QString &headlines);

// What an empty list says.
extern const char *const nothingOpenText;

// Names the lines of the module's list that could not be read and were left out, then
// says `tryAgain`.
QString unreadLinesText(const QStringList &unread, const QString &tryAgain);

#endif
