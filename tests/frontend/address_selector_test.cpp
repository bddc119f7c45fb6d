// The start-up address request and the spin box that picks an address.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

namespace {

QStringList numberedAddresses(int count)
{
    QStringList addresses;
    for (int i = 0; i < count; ++i)
        addresses.append(QStringLiteral("10.0.%1.%2").arg(i / 200).arg(i % 200 + 1));
    return addresses;
}

} // namespace

class AddressSelectorTest : public QObject
{
    Q_OBJECT

private:
    StandIn standIn;
    QTemporaryDir startDirectory;

    std::unique_ptr<MainWindow> startWith(const QByteArray &answer)
    {
        standIn.answer(answer);
        return startWindow(startDirectory.path());
    }

private slots:
    void initTestCase() { QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath())); }
    void cleanup() { clearProgramDirectory(); }

    void startUpTakesEveryLineAsAnAddress_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("count");
        QTest::newRow("three") << textLines(numberedAddresses(3)) << "10.0.0.1" << 3;
        QTest::newRow("CR LF line ends") << QByteArray("10.0.0.1\r\n10.0.0.2\r\n") << "10.0.0.1" << 2;
        QTest::newRow("none") << QByteArray() << "" << 0;
        QTest::newRow("no command file") << QByteArray("1\n") << "1" << 1;
        QTest::newRow("lower-case error") << QByteArray("error\n") << "error" << 1;
        QTest::newRow("ERROR with a blank") << QByteArray("ERROR \n10.0.0.1\n") << "ERROR " << 2;
    }

    void startUpTakesEveryLineAsAnAddress()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        QFETCH(int, count);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("got  %1").arg(count)));
        const auto window = startWith(answer);
        QCOMPARE(formObject<QLineEdit>(*window, "editip")->text(), shown);
        QCOMPARE(formObject<QSpinBox>(*window, "spinBox")->value(), 0);
        QCOMPARE(formObject<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Ready"));
    }

    void spinBoxPicksAnAddress_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("values");
        // As this test's receiver sees them: the slot pulls a value back while the change
        // is still being signalled, so the nested change arrives first.
        QTest::addColumn<QList<int>>("signalled");
        QTest::addColumn<int>("index");
        QTest::newRow("three, second") << 3 << QList<int>{1} << QList<int>{1} << 1;
        QTest::newRow("three, third") << 3 << QList<int>{1, 2} << QList<int>{1, 2} << 2;
        QTest::newRow("three, past the last") << 3 << QList<int>{3} << QList<int>{2, 3} << 2;
        QTest::newRow("three, back to first") << 3 << QList<int>{2, 0} << QList<int>{2, 0} << 0;
        QTest::newRow("one, any value") << 1 << QList<int>{7} << QList<int>{0, 7} << 0;
        QTest::newRow("120, last choosable") << 120 << QList<int>{99} << QList<int>{99} << 99;
        QTest::newRow("120, beyond the spin box") << 120 << QList<int>{150} << QList<int>{99} << 99;
        QTest::newRow("none") << 0 << QList<int>{4} << QList<int>{4} << -1;
    }

    void spinBoxPicksAnAddress()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, values);
        QFETCH(QList<int>, signalled);
        QFETCH(int, index);
        const QStringList addresses = numberedAddresses(count);
        const auto window = startWith(textLines(addresses));
        auto *spin = formObject<QSpinBox>(*window, "spinBox");
        QSignalSpy spy(spin, qOverload<int>(&QSpinBox::valueChanged));
        for (int value : values)
            spin->setValue(value);

        QList<int> seen;
        for (const QList<QVariant> &signal : spy)
            seen.append(signal.at(0).toInt());
        QCOMPARE(seen, signalled);
        QCOMPARE(spin->value(), index < 0 ? values.last() : index);
        QCOMPARE(formObject<QLineEdit>(*window, "editip")->text(), index < 0 ? QString() : addresses.at(index));
    }

    void typedIndexPastTheLastIsPulledBack()
    {
        const auto window = startWith(textLines(numberedAddresses(3)));
        auto *spin = formObject<QSpinBox>(*window, "spinBox");
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("7"));
        QCOMPARE(spin->value(), 2);
        QCOMPARE(formObject<QLineEdit>(*window, "editip")->text(), QStringLiteral("10.0.0.3"));
    }

    void typedAddressStaysUntilTheValueChanges()
    {
        const auto window = startWith(textLines(numberedAddresses(3)));
        auto *spin = formObject<QSpinBox>(*window, "spinBox");
        auto *ip = formObject<QLineEdit>(*window, "editip");
        spin->setValue(1);
        ip->setText(QStringLiteral("typed"));
        spin->setValue(1);
        QCOMPARE(ip->text(), QStringLiteral("typed"));
        spin->setValue(0);
        spin->setValue(1);
        QCOMPARE(ip->text(), QStringLiteral("10.0.0.2"));
    }
};

QTEST_MAIN(AddressSelectorTest)
#include "address_selector_test.moc"
