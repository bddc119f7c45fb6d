// The window with the real module beside it: the start-up fills the address list.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

class RealModuleTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpFillsTheAddressList()
    {
        const QString module = QDir(QCoreApplication::applicationDirPath()).filePath(moduleFileName());
        QFile::remove(module);
        QVERIFY(QFile::copy(QStringLiteral(REAL_MODULE), module));
        QTemporaryDir startDirectory;

        const auto window = startWindow(startDirectory.path());
        // The module answered in the start directory; the window holds that answer.
        QVERIFY(QFile::exists(startDirectory.filePath(QStringLiteral("log.txt"))));
        const QByteArray answer = fileBytes(startDirectory.filePath(QStringLiteral("log.txt")));
        const QStringList addresses = QString::fromLatin1(answer).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                          .replaceInStrings(QStringLiteral("\r"), QString());
        QVERIFY(!addresses.contains(QStringLiteral("ERROR")));
        QCOMPARE(formObject<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Ready"));
        auto *ip = formObject<QLineEdit>(*window, "editip");
        auto *spin = formObject<QSpinBox>(*window, "spinBox");
        for (int i = 0; i < addresses.size() && i <= spin->maximum(); ++i) {
            spin->setValue(i);
            QCOMPARE(ip->text(), addresses[i]);
        }
        if (addresses.isEmpty())
            QCOMPARE(ip->text(), QString());
    }
};

QTEST_MAIN(RealModuleTest)
#include "real_module_test.moc"
