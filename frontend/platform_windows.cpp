#include "platform.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

QString moduleProgramName()
{
    return QStringLiteral("Kavro.exe");
}

void makeExchangeDirectoryCurrent()
{
    const QString directory = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    SetCurrentDirectoryW(reinterpret_cast<LPCWSTR>(directory.utf16()));
}

bool openExchangeFile(QFile &file, QIODevice::OpenMode mode)
{
    return file.open(mode);
}
