// Pressing "Forward": the input checks, the command sent and the outcome shown.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString noProtocol =
    QStringLiteral("Trying to forward no protocol, please check that UDP and/or TCP are checked.");
const QString badIp =
    QStringLiteral("Invalid IP. Please check and use the scroll box next to the IP edit to select one.");
const QString portZero = QStringLiteral("Cannot forward port 0, please check the port edit and try again.");

} // namespace

class ForwardActionTest : public QObject
{
    Q_OBJECT

private:
    StandIn standIn;
    QTemporaryDir startDirectory;
    std::unique_ptr<MainWindow> window;

    QString programFile(const char *name) const
    {
        return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
    }

    void fill(bool tcp, bool udp, const QString &ip, const QString &port)
    {
        formObject<QCheckBox>(*window, "chkTCP")->setChecked(tcp);
        formObject<QCheckBox>(*window, "ChkUDP")->setChecked(udp);
        formObject<QLineEdit>(*window, "editip")->setText(ip);
        formObject<QLineEdit>(*window, "editport")->setText(port);
    }

    QList<ShownBox> press()
    {
        BoxCloser closer(formObject<QLabel>(*window, "lblStatus"));
        QTest::mouseClick(formObject<QPushButton>(*window, "btnForward"), Qt::LeftButton);
        return closer.boxes;
    }

    QString status() const { return formObject<QLabel>(*window, "lblStatus")->text(); }

private slots:
    void initTestCase() { QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath())); }

    void init()
    {
        standIn.answer(textLines({QStringLiteral("10.0.0.5")}));
        window = startWindow(startDirectory.path());
    }

    void cleanup()
    {
        window.reset();
        clearProgramDirectory();
    }

    void failedCheckShowsItsReasonOnly_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("text");
        QTest::newRow("no protocol, nothing else right") << false << false << "" << "" << noProtocol;
        QTest::newRow("no protocol, all else right") << false << false << "10.0.0.5" << "80" << noProtocol;
        QTest::newRow("three-character ip") << true << false << "1.2" << "80" << badIp;
        QTest::newRow("empty ip, udp") << false << true << "" << "0" << badIp;
        QTest::newRow("empty port") << true << false << "10.0.0.5" << "" << portZero;
        QTest::newRow("port 0") << true << true << "10.0.0.5" << "00000" << portZero;
    }

    void failedCheckShowsItsReasonOnly()
    {
        QFETCH(bool, tcp);
        QFETCH(bool, udp);
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(QString, text);
        writeFile(programFile("kavro.cmd"), "earlier command\n");
        writeFile(programFile("log.txt"), "0\n");
        const int runsBefore = standIn.runs().size();
        fill(tcp, udp, ip, port);

        const QList<ShownBox> boxes = press();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, text);
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QVERIFY(boxes[0].parentless);
        QCOMPARE(status(), QStringLiteral("Ready"));
        QCOMPARE(standIn.runs().size(), runsBefore);
        QCOMPARE(fileBytes(programFile("kavro.cmd")), QByteArray("earlier command\n"));
        QCOMPARE(fileBytes(programFile("log.txt")), QByteArray("0\n"));
    }

    void commandLinesSent_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("leading zeros dropped") << true << false << "10.0.0.5" << "00080"
                                               << QStringList{"kavro", "10.0.0.5", "80", "TRUE", "FALSE"};
        QTest::newRow("largest port") << true << false << "10.0.0.5" << "99999"
                                      << QStringList{"kavro", "10.0.0.5", "99999", "TRUE", "FALSE"};
        QTest::newRow("both protocols") << true << true << "192.168.1.20" << "5555"
                                        << QStringList{"kavro", "192.168.1.20", "5555", "TRUE", "TRUE"};
        QTest::newRow("udp alone") << false << true << "10.0.0.5" << "1"
                                   << QStringList{"kavro", "10.0.0.5", "1", "FALSE", "TRUE"};
        QTest::newRow("four letters pass unchanged") << true << false << "abcd" << "80"
                                                     << QStringList{"kavro", "abcd", "80", "TRUE", "FALSE"};
    }

    void commandLinesSent()
    {
        QFETCH(bool, tcp);
        QFETCH(bool, udp);
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(QStringList, lines);
        standIn.answer("0\n");
        fill(tcp, udp, ip, port);
        const int runsBefore = standIn.runs().size();
        QCOMPARE(press().size(), 1);
        const QList<ModuleRun> runs = standIn.runs();
        QCOMPARE(runs.size(), runsBefore + 1);
        QCOMPARE(runs.last().commandFile, textLines(lines));
    }

    void outcome_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::addColumn<QString>("statusAfter");
        const QString ready = QStringLiteral("Ready");
        const QString failed = QStringLiteral("Ready (error ocurred)");
        QTest::newRow("success") << QByteArray("0\n") << "Port forward success!" << QMessageBox::Information << ready;
        QTest::newRow("success, no line end") << QByteArray("0") << "Port forward success!" << QMessageBox::Information
                                              << ready;
        QTest::newRow("first line decides") << QByteArray("0\nInvalid IP\n") << "Port forward success!"
                                            << QMessageBox::Information << ready;
        QTest::newRow("module error text") << QByteArray("Invalid IP\n") << "Port forward error: \nInvalid IP"
                                           << QMessageBox::Critical << failed;
        QTest::newRow("firewall text")
            << QByteArray("Firewall initialized well, but failed to open ports on it.\r\n")
            << "Port forward error: \nFirewall initialized well, but failed to open ports on it."
            << QMessageBox::Critical << failed;
        QTest::newRow("zero with a blank") << QByteArray("0 \n") << "Port forward error: \n0 " << QMessageBox::Critical
                                           << failed;
        QTest::newRow("empty result") << QByteArray() << "Port forward error: \n" << QMessageBox::Critical << failed;
    }

    void outcome()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, text);
        QFETCH(QMessageBox::Icon, icon);
        QFETCH(QString, statusAfter);
        standIn.answer(answer);
        fill(true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));

        const QList<ShownBox> boxes = press();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, text);
        QCOMPARE(boxes[0].icon, icon);
        QVERIFY(boxes[0].parentless);
        QCOMPARE(boxes[0].statusLine, statusAfter); // already while the box is open
        QCOMPARE(status(), statusAfter);
    }
};

QTEST_MAIN(ForwardActionTest)
#include "forward_action_test.moc"
