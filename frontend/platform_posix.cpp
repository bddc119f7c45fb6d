#include "platform.h"

#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString moduleProgramName()
{
    return QStringLiteral("Kavro");
}

bool openExchangeFile(QFile &file, QIODevice::OpenMode mode)
{
    const bool writing = mode & QIODevice::WriteOnly;
    // O_NONBLOCK lets the open of a FIFO return at once; a regular file ignores it.
    const int flags = (writing ? O_WRONLY | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), flags, 0666);
    if (fd < 0)
        return false;
    struct stat info {};
    // Emptied only once it is known to be a regular file of its own name.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (!writing || ::ftruncate(fd, 0) == 0) &&
        file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

QString whoseRecordText()
{
    if (::geteuid() != 0)
        return QString();
    // Where the module keeps the record: $XDG_STATE_HOME when absolute, else under $HOME.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString folder = QDir::isAbsolutePath(state) ? state + QStringLiteral("/varneth")
                                                       : qEnvironmentVariable("HOME") + QStringLiteral("/.local/state/varneth");
    const QString user = qEnvironmentVariable("SUDO_USER");
    const QString notFor = user.isEmpty() || user == QLatin1String("root")
                               ? QString()
                               : QStringLiteral(", not %1's: run it without sudo to keep ports open for %1").arg(user);
    return QStringLiteral("Running as root: this changes root's record of open ports (%1) and root's renewal timer%2.")
        .arg(folder, notFor);
}
