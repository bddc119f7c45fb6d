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
#include <optional>

class MainWindow;
class QLabel;

// Name under which the window starts the module beside itself.
QString moduleFileName();

// The lines as the window writes them into a text file (platform line ends).
QByteArray textLines(const QStringList &lines);

QByteArray fileBytes(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);

// Removes what earlier exchanges left in the program directory.
void clearProgramDirectory();

template <class T>
T *formObject(const QObject &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

struct ModuleRun {
    qint64 pid = 0;
    QString directory;
    bool hadCommandFile = false;
    QByteArray commandFile;
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

    void answer(const QByteArray &resultFile);
    void answerNothing();
    void sleepFor(int milliseconds);
    // Stays running this long after its answer.
    void lingerFor(int milliseconds);
    // Ends by SIGKILL after its answer, as a module killed mid-run.
    void dieKilled();
    // Lets a module run by another user reach its answer and record its runs; call
    // before the first run.
    bool openToOtherUsers();
    QList<ModuleRun> runs() const;

private:
    QTemporaryDir scratch;
};

struct ShownBox {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool parentless = false;
    QString statusLine; // the window's status text while the box was open
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

struct Ended {
    int exitCode = -1; // -1: crashed or still running after 30 s
    QStringList output;
};

// Runs command (program and arguments) to its end in workingDirectory; its output
// is split into lines.
Ended runToEnd(const QStringList &command, const QString &workingDirectory);

// The command prefix that runs a program as a user whom file permissions bind:
// empty when this user is no root; nothing without setpriv or POSIX permissions.
std::optional<QStringList> unprivilegedUser();

// Builds the window as if the user had started the program in startDirectory.
// Message boxes are closed and handed back through boxes; without it any box
// fails the test.
std::unique_ptr<MainWindow> startWindow(const QString &startDirectory, QList<ShownBox> *boxes = nullptr);

#endif
