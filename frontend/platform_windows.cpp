#include "platform.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

QString moduleProgramName()
{
    return QStringLiteral("Kavro.exe");
}

bool makeExchangeDirectoryCurrent()
{
    const QString directory = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    return SetCurrentDirectoryW(reinterpret_cast<LPCWSTR>(directory.utf16())) != 0;
}

QString noExchangeDirectoryText()
{
    return QStringLiteral("The program's folder could not be entered. Install the program in a folder you may "
                          "use, then start it again.");
}

bool openExchangeFile(QFile &file, QIODevice::OpenMode mode)
{
    return file.open(mode);
}

QString whoseRecordText()
{
    // An administrator's run keeps the record and the task of the same signed-in user.
    return QString();
}
