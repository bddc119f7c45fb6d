#ifndef VARNETH_COMMAND_ARGUMENTS_H
#define VARNETH_COMMAND_ARGUMENTS_H

#include <QString>
#include <QStringList>

#include <variant>

// The command line's words, read and checked before anything is written.

enum class CommandWord { Help, Version, Forward, List, Close, Renew, Addresses };

struct Invocation {
    CommandWord word = CommandWord::Help;
    QString address; // forward and close: a dotted IPv4 address
    int port = 0;    // 1 to 65535
    bool tcp = false;
    bool udp = false;
    bool ipv6 = false; // forward: IPv6 pinholes too
    bool all = false;  // close: everything the record holds
    bool tab = false;  // list: the module's own fields, for scripts
    bool verbose = false;
};

// Whether a program started with `first` as its first argument is the command line
// rather than the window: a command word, --help, --version or --verbose.
bool startsCommandLine(const char *first);

// The arguments after the program's name, read; nothing but the reason when they are
// no command (a misuse). A value that could carry another line into the command file
// is refused here.
std::variant<Invocation, QString> readArguments(const QStringList &arguments);

// The lines of the command file for the module.
QStringList moduleCommand(const Invocation &invocation);

// How the command line is used, as --help says it.
QString usageText();

#endif
