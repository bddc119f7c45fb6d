#include "exchange_directory.h"
#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd; }

private:
    int fd;
};

bool ownedByUsAlone(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The user's own exchange directory under $XDG_RUNTIME_DIR or ~/.cache.
const char *const userExchangeName = "varneth";

} // namespace

bool enterUserExchangeDirectory(const QString &parent)
{
    const Descriptor parentDirectory(::open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentDirectory.get() < 0)
        return false;
    if (::mkdirat(parentDirectory.get(), userExchangeName, 0700) != 0 && errno != EEXIST)
        return false;
    // Checked and entered through the same descriptor: what was checked is what we enter.
    const Descriptor directory(
        ::openat(parentDirectory.get(), userExchangeName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return directory.get() >= 0 && ownedByUsAlone(directory.get()) && ::fchdir(directory.get()) == 0;
}

void makeExchangeDirectoryCurrent()
{
    const QString program = QCoreApplication::applicationDirPath();
    // Stays current when nothing else can be had: an installed program directory
    // refuses the command file, so the window says it could not send the command.
    QDir::setCurrent(program);
    if (::access(QFile::encodeName(program).constData(), W_OK) == 0)
        return;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && enterUserExchangeDirectory(runtime))
        return;
    const QString cache = QDir::homePath() + QStringLiteral("/.cache");
    ::mkdir(QFile::encodeName(cache).constData(), 0700);
    enterUserExchangeDirectory(cache);
}
