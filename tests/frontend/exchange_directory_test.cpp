// The user's own exchange directory of an installed window: made when missing, and
// entered only as this user's, mode 0700, never through a link.

#include "exchange_directory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class ExchangeDirectoryTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir parent;
    QString start;

    QString exchange() const { return parent.filePath(QString::fromLatin1(userExchangeName)); }

private slots:
    void init()
    {
        start = QDir::currentPath();
        QDir(exchange()).removeRecursively();
        QFile::remove(exchange());
    }

    void cleanup() { QDir::setCurrent(start); }

    void enteredWhenItIsOurOwnAlone_data()
    {
        QTest::addColumn<QString>("arrange");  // what is at the name before
        QTest::addColumn<bool>("entered");
        QTest::newRow("nothing: made, mode 0700") << "" << true;
        QTest::newRow("our own, mode 0700") << "dir 700" << true;
        QTest::newRow("open to the group") << "dir 750" << false;
        QTest::newRow("open to all") << "dir 777" << false;
        QTest::newRow("a link to our own directory") << "link" << false;
        QTest::newRow("a file") << "file" << false;
        QTest::newRow("another user's, mode 0700") << "other" << false;
    }

    void enteredWhenItIsOurOwnAlone()
    {
        QFETCH(QString, arrange);
        QFETCH(bool, entered);
        const QByteArray path = QFile::encodeName(exchange());
        QTemporaryDir target;
        if (arrange.startsWith(QLatin1String("dir")) || arrange == QLatin1String("other")) {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            QCOMPARE(::chmod(path.constData(), arrange == QLatin1String("other") ? 0700 : arrange.mid(4).toUInt(nullptr, 8)), 0);
        }
        if (arrange == QLatin1String("other")) {
            if (::geteuid() != 0)
                QSKIP("only root can give a directory to another user");
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        }
        if (arrange == QLatin1String("link")) {
            QCOMPARE(::chmod(QFile::encodeName(target.path()).constData(), 0700), 0);
            QVERIFY(QFile::link(target.path(), exchange()));
        }
        if (arrange == QLatin1String("file"))
            QVERIFY(QFile(exchange()).open(QIODevice::WriteOnly));

        QCOMPARE(enterUserExchangeDirectory(parent.path()), entered);
        QCOMPARE(QDir::currentPath(), entered ? exchange() : start);
        struct stat info {};
        if (entered) {
            QCOMPARE(::stat(".", &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0700));
            QCOMPARE(info.st_uid, ::getuid());
        }
    }

    void noParentNoDirectory()
    {
        QVERIFY(!enterUserExchangeDirectory(parent.filePath(QStringLiteral("missing"))));
        QCOMPARE(QDir::currentPath(), start);
    }
};

QTEST_MAIN(ExchangeDirectoryTest)
#include "exchange_directory_test.moc"
