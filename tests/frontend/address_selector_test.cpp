// The spin box that picks one of the addresses the start-up got.
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

    std::unique_ptr<MainWindow> start(const QStringList &addresses)
    {
        standIn.answer(textLines(addresses));
        return startWindow(startDirectory.path());
    }

private slots:
    void initTestCase() { QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath())); }

    void spinBoxPicksAnAddress_data()
    {
        QTest::addColumn<QStringList>("addresses"); // every line of the start-up's answer
        QTest::addColumn<QList<int>>("values");
        // As this test's receiver sees them: the slot pulls a value back while the change
        // is still being signalled, so the nested change arrives first.
        QTest::addColumn<QList<int>>("signalled");
        QTest::addColumn<int>("index");
        const QStringList three = numberedAddresses(3);
        const QStringList many = numberedAddresses(120);
        QTest::newRow("three, at start") << three << QList<int>{} << QList<int>{} << 0;
        QTest::newRow("three, second") << three << QList<int>{1} << QList<int>{1} << 1;
        QTest::newRow("three, third") << three << QList<int>{1, 2} << QList<int>{1, 2} << 2;
        QTest::newRow("three, past the last") << three << QList<int>{3} << QList<int>{2, 3} << 2;
        QTest::newRow("three, back to first") << three << QList<int>{2, 0} << QList<int>{2, 0} << 0;
        QTest::newRow("one, any value") << numberedAddresses(1) << QList<int>{7} << QList<int>{0, 7} << 0;
        QTest::newRow("120, last choosable") << many << QList<int>{99} << QList<int>{99} << 99;
        QTest::newRow("120, beyond the spin box") << many << QList<int>{150} << QList<int>{99} << 99;
        QTest::newRow("none") << QStringList() << QList<int>{4} << QList<int>{4} << -1;
        // Only the exact word ends the program.
        QTest::newRow("lower-case error") << QStringList{"error"} << QList<int>{} << QList<int>{} << 0;
        QTest::newRow("ERROR with a blank") << QStringList{"ERROR ", "10.0.0.1"} << QList<int>{1} << QList<int>{1}
                                            << 1;
    }

    void spinBoxPicksAnAddress()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QList<int>, values);
        QFETCH(QList<int>, signalled);
        QFETCH(int, index);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("got  %1").arg(addresses.size())));
        const auto window = start(addresses);
        QCOMPARE(formObject<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Ready"));
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
};

QTEST_MAIN(AddressSelectorTest)
#include "address_selector_test.moc"
