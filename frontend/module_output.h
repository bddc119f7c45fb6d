#ifndef VARNETH_MODULE_OUTPUT_H
#define VARNETH_MODULE_OUTPUT_H

#include <QByteArray>
#include <QObject>
#include <QString>

class QProcess;

// The most kept of each of the module's two output streams; the rest is read and
// dropped as it comes, so a module that floods them cannot fill our memory.
constexpr int maxModuleOutputBytes = 16384;

// What the module writes on its standard output (diagnostics) and standard error
// (sentences for the user), caught while it runs, for the outcome box's details.
class ModuleOutput : public QObject
{
public:
    explicit ModuleOutput(QProcess &module);

    // Standard error, then standard output, as plain text: control characters other
    // than line ends removed, and a note where a stream was cut.
    QString details() const;
    // The module's "Reachable at <address>:<port>" line, when it wrote one.
    QString reachableAt() const;

private:
    QByteArray errors;
    QByteArray output;
    bool errorsCut = false;
    bool outputCut = false;
};

#endif
