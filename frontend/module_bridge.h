#ifndef VARNETH_MODULE_BRIDGE_H
#define VARNETH_MODULE_BRIDGE_H

#include "result_lines.h"

#include <QString>
#include <QStringList>

#include <optional>

class ModuleOutput;
class QProcess;

// The first lines of what is said when an exchange with the module failed.
extern const char *const sendFailureText;
extern const char *const readFailureText;

// Why an exchange left no answer to take: one of the two texts above, and below it why
// and what to do.
struct ExchangeFailure {
    QString text;
    QString why;
};

// What one exchange gave: the lines of the result file, or the single line "ERROR" and
// why there is no answer.
struct ExchangeResult {
    QStringList lines;
    std::optional<ExchangeFailure> failure;
};

// One exchange with the module in the current directory, the same for the window and
// the command line: the command file written, the module `program` beside this program
// run in `module` for at most 10 seconds, the result file read. Only a module that ran to
// its own end is taken at its word; an answer an earlier run left is never read.
// `module` belongs to the caller, who reads the module's streams from it meanwhile into
// `output`: once the module says there that a person is asked for a password, it is given
// 2 minutes more. The wait goes in short slices, repainting and answering the desktop,
// taking no input. Odd characters in the answer are taken as `odd` says.
ExchangeResult exchangeWithModule(QProcess &module, const QString &program, const QStringList &commandLines,
                                  OddCharacters odd = OddCharacters::RefuseAnswer,
                                  const ModuleOutput *output = nullptr);

#endif
