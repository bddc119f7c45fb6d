// Reading the result file: the answers the module gives, and where reading gives up
// because the file is too big or is no text.

#include "result_lines.h"

#include <QBuffer>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QStringList>)

namespace {

// A device whose reads fail, as a file on a failing disk.
class FailingDevice : public QIODevice
{
public:
    FailingDevice() { open(QIODevice::ReadOnly); }
    qint64 size() const override { return 100; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64) override { return -1; }
};

} // namespace

class ResultLinesTest : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<std::optional<QStringList>>("lines");
        const std::optional<QStringList> none;
        const QByteArray longest(maxResultLineBytes, 'a');
        const QByteArray line("10.0.0.5\r\n");

        QTest::newRow("empty") << QByteArray() << std::optional(QStringList());
        QTest::newRow("CR LF") << QByteArray("10.0.0.5\r\n10.0.0.6\r\n")
                               << std::optional(QStringList{"10.0.0.5", "10.0.0.6"});
        QTest::newRow("LF") << QByteArray("0\n") << std::optional(QStringList{"0"});
        QTest::newRow("no final line end") << QByteArray("0") << std::optional(QStringList{"0"});
        QTest::newRow("empty lines") << QByteArray("\r\n\n") << std::optional(QStringList{"", ""});
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "0\r\n") << std::optional(QStringList{"0"});
        QTest::newRow("UTF-8 letters") << QByteArray("Ung\xC3\xBCltig\r\n")
                                       << std::optional(QStringList{QStringLiteral("Ung\u00FCltig")});
        QTest::newRow("longest line") << longest + "\r\n" << std::optional(QStringList{QString::fromLatin1(longest)});
        QTest::newRow("longest line, last") << longest << std::optional(QStringList{QString::fromLatin1(longest)});
        QStringList mostLines;
        for (int i = 0; i < maxResultLines; ++i)
            mostLines.append(QStringLiteral("10.0.0.5"));
        QTest::newRow("most lines") << line.repeated(maxResultLines) << std::optional(mostLines);

        QTest::newRow("line too long") << longest + "a\r\n" << none;
        QTest::newRow("line too long, last") << longest + "a" << none;
        QTest::newRow("too many lines") << line.repeated(maxResultLines + 1) << none;
        QTest::newRow("NUL") << QByteArray("0\0", 2) << none;
        QTest::newRow("CR alone at the end") << QByteArray("0\r") << none;
        QTest::newRow("CR alone in a line") << QByteArray("\r0\r\n") << none;
        QTest::newRow("two CRs before LF") << QByteArray("0\r\r\n") << none;
        QTest::newRow("tab") << QByteArray("0\t\r\n") << none;
        QTest::newRow("escape") << QByteArray("\x1B[2J\r\n") << none;
        QTest::newRow("invalid UTF-8") << QByteArray("0\r\n\xC3\x28\r\n") << none;
        QTest::newRow("character cut at the line end") << QByteArray("\xC3\r\n\xBC\r\n") << none;
        QTest::newRow("character cut at the file end") << QByteArray("0\r\nUng\xC3") << none;
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE" "0\0\r\0\n\0", 8) << none;
    }

    void lines()
    {
        QFETCH(QByteArray, file);
        QFETCH(std::optional<QStringList>, lines);
        QBuffer buffer(&file);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const std::optional<QStringList> read = readResultLines(buffer);
        QCOMPARE(read.has_value(), lines.has_value());
        if (lines)
            QCOMPARE(*read, *lines);
    }

    void failedReadGivesNothing()
    {
        FailingDevice device;
        QVERIFY(!device.atEnd());
        QVERIFY(!readResultLines(device));
    }
};

QTEST_MAIN(ResultLinesTest)
#include "result_lines_test.moc"
