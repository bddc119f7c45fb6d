#ifndef VARNETH_MODULE_OUTPUT_H
#define VARNETH_MODULE_OUTPUT_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QProcess;

// The most kept of each of the module's two output streams; the rest is read and
// dropped as it comes, so a module that floods them cannot fill our memory.
constexpr int maxModuleOutputBytes = 16384;

// The most headline lines the outcome box shows itself.
constexpr int maxHeadlines = 3;

// One line of the module's standard error. The module tags each sentence with its id:
// ">>[id] text" is a headline, which the outcome box shows itself; ">[id] text" a
// detail. Any other line (another program's) is an untagged detail, shown as it is.
struct ModuleLine {
    QString id; // empty: untagged
    bool headline = false;
    QString text; // what a person reads: the line without its tag
};
ModuleLine readModuleLine(const QString &line);

// What the module writes on its standard error (its sentences, tagged) and on its
// standard output (developer diagnostics), caught while it runs. All of it is plain
// text: control characters other than line ends removed.
class ModuleOutput : public QObject
{
public:
    explicit ModuleOutput(QProcess &module);

    // The outcome box's own words: on success the "Reachable at" line, then the
    // headlines but the one with the id `leftOut` (when given); on failure the headlines
    // alike. Each distinct line once, in order.
    QString informativeText(bool succeeded, const char *leftOut = nullptr) const;
    // Everything else: the sentences for people, then under a heading the developer
    // lines, each with a note where the stream was cut.
    QString details() const;
    // Whether the module wrote a sentence with this id (module_ids.h).
    bool said(const char *id) const;
    // Whether the module said it waits for a person's password; `act` runs once when it
    // does (none: nothing runs).
    bool passwordAsked() const { return asked; }
    void whenPasswordAsked(std::function<void()> act) { onAsked = std::move(act); }

private:
    QByteArray errors;
    QByteArray output;
    bool errorsCut = false;
    bool outputCut = false;
    bool asked = false;
    std::function<void()> onAsked;
};

#endif
