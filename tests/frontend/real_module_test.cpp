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
        QFile::remove(programFile(moduleFileName()));
        QVERIFY(QFile::copy(QStringLiteral(REAL_MODULE), programFile(moduleFileName())));
        QTemporaryDir startDirectory;

        const auto window = startWindow(startDirectory.path());
        // The module answered beside the program; the window holds that answer.
        const QStringList addresses = QString::fromLatin1(fileBytes(programFile(QStringLiteral("log.txt"))))
                                          .remove(QLatin1Char('\r'))
                                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!addresses.contains(QStringLiteral("ERROR")));
        QCOMPARE(formObject<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Ready"));
        auto *spin = formObject<QSpinBox>(*window, "spinBox");
        for (int i = 0; i < addresses.size() && i <= spin->maximum(); ++i) {
            spin->setValue(i);
            QCOMPARE(formObject<QLineEdit>(*window, "editip")->text(), addresses[i]);
        }
        if (addresses.isEmpty())
            QCOMPARE(formObject<QLineEdit>(*window, "editip")->text(), QString());
    }
};

QTEST_MAIN(RealModuleTest)
#include "real_module_test.moc"
