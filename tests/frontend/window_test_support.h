#ifndef VARNETH_WINDOW_TEST_SUPPORT_H
#define VARNETH_WINDOW_TEST_SUPPORT_H

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

class MainWindow;
class QLabel;

// What the window shows when an exchange with the module fails.
inline const QString sendFailure =
    QStringLiteral("FATAL ERROR: Could not send command to internal port forwarding module.");
inline const QString readFailure = QStringLiteral("FATAL ERROR: Could not read internal port forwarding module.");
inline const QString errorOutcome = QStringLiteral("Port forward error: \nERROR");
inline const QString failedStatus = QStringLiteral("Ready (error ocurred)");

// Name under which the window starts the module beside itself.
QString moduleFileName();
// The lines as the window writes them into a text file (platform line ends).
QByteArray textLines(const QStringList &lines);
QByteArray fileBytes(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
bool openToAll(const QString &path);

// A file beside this test program, where the window's later exchanges happen.
QString programFile(const QString &name);

template <class T>
T *formObject(const QObject &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

// What goes wrong around an exchange, besides what the module answers.
enum class Trouble {
    None,
    ModuleMissing,
    ModuleKilled,  // by SIGKILL, after its answer
    ModuleLingers, // after its answer, past the window's wait
    CommandFileIsDirectory,
    DiskFull,
    ResultFileIsDirectory,
    // Only for a user whom file permissions bind; the second leaves a command file anyone may write.
    DirectoryReadOnly,
    DirectoryReadOnlyButCommandFile,
    // Planted by another user: links to a root-only file elsewhere or to nothing, and FIFOs.
    CommandFileLinksToSecret,
    CommandFileLinksToNothing,
    CommandFileIsFifo, // with a reader, so writing it would not block
    ResultFileLinksToSuccess, // left by the module in place of its answer
    ResultFileIsFifo,         // the same, with a writer of "0" waiting for a reader
};
Q_DECLARE_METATYPE(Trouble)

struct ModuleRun {
    qint64 pid = 0;
    QString directory;
    QByteArray commandFile; // empty also when there was none
};

// Drives the test-only stand-in module through its environment.
class StandIn
{
public:
    StandIn();
    ~StandIn();
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    // Copies the stand-in into directory under the module's name.
    static bool installIn(const QString &directory);

    // What the next runs write as their result.
    void answer(const QByteArray &resultFile);
    // What the next runs write on their standard output and standard error.
    void speak(const QByteArray &standardOutput, const QByteArray &standardError);
    // Prepares the next exchange in directory, the stand-in being installed in
    // moduleDirectory: an earlier success left there, the answer (a null one: none
    // at all) and the trouble.
    bool arrange(const QString &moduleDirectory, const QString &directory, const QByteArray &resultFile,
                 Trouble trouble);
    // Lets a module run by another user reach its answer and record its runs.
    bool openToOtherUsers() { return openToAll(scratch.path()); }
    QList<ModuleRun> runs() const;
    // True while the root-only file elsewhere, a link's target, holds what it held and
    // nothing was made beside it; with a FIFO command file, while nothing was written into it.
    bool elsewhereUntouched() const;

private:
    QTemporaryDir scratch;
    int fifoReader = -1;
};

// A module that does not end by itself, or answers what no module writes. Each
// must end in the read-failure box; most would read as success if taken for an answer.
struct Misbehaviour {
    const char *name;
    QByteArray answer;
    Trouble trouble;
};
QList<Misbehaviour> misbehaviours();

struct ShownBox {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool parentless = false;
    QString statusLine; // the window's status text while the box was open
    Qt::TextFormat format = Qt::AutoText;
    QString informative;
    QString details;
};

// Closes every modal message box as soon as it runs, noting what it showed.
class BoxCloser : public QObject
{
public:
    explicit BoxCloser(const QLabel *status = nullptr);
    QList<ShownBox> boxes;
    std::function<void(const ShownBox &)> onShown; // called before the box closes

private:
    void closeModalBox();
    const QLabel *status;
    QTimer timer;
};

// A box as startup_probe prints it: on one line, its line feeds written as \n.
QString probeLine(const QString &text, QMessageBox::Icon icon = QMessageBox::Critical);

// Builds the window as if the user had started the program in startDirectory;
// a message box fails the test.
std::unique_ptr<MainWindow> startWindow(const QString &startDirectory);

void fillForm(MainWindow &window, bool tcp, bool udp, const QString &ip, const QString &port);

#endif
