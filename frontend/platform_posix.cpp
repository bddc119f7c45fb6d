#include "platform.h"

#include <QCoreApplication>
#include <QDir>

QString moduleProgramName()
{
    return QStringLiteral("Kavro");
}

void makeProgramDirectoryCurrent()
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}
