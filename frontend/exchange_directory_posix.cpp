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

// The program directory is where the window meets the module only when it is this
// user's, nobody else may write there, and it is no installed copy's: an installed
// one is shared by every user, root included, and in a folder others may write they
// could plant or swap the two files.
bool isOwnProgramDirectory(const QString &program)
{
    if (program.endsWith(QStringLiteral("/" VARNETH_INSTALL_DIR)))
        return false;
    struct stat info {};
    return ::stat(QFile::encodeName(program).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

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

bool makeExchangeDirectoryCurrent()
{
    const QString program = QCoreApplication::applicationDirPath();
    if (isOwnProgramDirectory(program))
        return QDir::setCurrent(program);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && enterUserExchangeDirectory(runtime))
        return true;
    const QString cache = QDir::homePath() + QStringLiteral("/.cache");
    ::mkdir(QFile::encodeName(cache).constData(), 0700);
    return enterUserExchangeDirectory(cache);
}

QString noExchangeDirectoryText()
{
    return QStringLiteral("There is no folder of your own for the files the window and the module exchange: the "
                          "program's folder is not yours alone, and no private folder \"varneth\" could be made in "
                          "$XDG_RUNTIME_DIR or ~/.cache. Make ~/.cache a folder of your own, then start the "
                          "program again.");
}
