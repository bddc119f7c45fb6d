// Every text of the window's form fits what is visible of its widget, and the open ports
// dialog shows its whole table on a small screen.

#include "message_box.h"
#include "window_test_support.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// What is visible of a widget, in its own coordinates: its rectangle cut by every
// widget it lies in, up to the window.
QRect visibleRect(const QWidget &widget)
{
    const QWidget *window = widget.window();
    const QPoint origin = widget.mapTo(window, QPoint(0, 0));
    QRect visible(origin, widget.size());
    for (const QWidget *outer = widget.parentWidget(); outer; outer = outer->parentWidget())
        visible &= QRect(outer == window ? QPoint(0, 0) : outer->mapTo(window, QPoint(0, 0)), outer->size());
    return visible.translated(-origin);
}

// Whether the text's ink, laid out in `area` as the widget lays it out, stays inside.
bool inkFits(const QWidget &widget, const QRect &area, const QString &text, Qt::Alignment alignment)
{
    const QFontMetrics metrics(widget.font());
    const QRect line = QStyle::alignedRect(widget.layoutDirection(), alignment,
                                           QSize(metrics.horizontalAdvance(text), metrics.height()), area);
    return area.contains(metrics.tightBoundingRect(text).translated(line.left(), line.top() + metrics.ascent()));
}

} // namespace

class FormFitTest : public QObject
{
    Q_OBJECT

private slots:
    // Every text of the form lies whole inside what is visible of its widget, measured by
    // its ink in the form's fonts. The spin box shows one digit: ten addresses.
    void formFits()
    {
        StandIn standIn(QCoreApplication::applicationDirPath());
        const auto window = startWindow(standIn, "10.0.0.5\n");
        const QList<std::pair<const char *, QStringList>> captions{
            {"label", {"Internal IP to forward to."}},
            {"label_2", {"Port"}},
            {"label_3", {"Protocols"}},
            {"lblStatus", {"Ready", "Forwarding ports...", "Ready (error ocurred)", "Listing ports...", "Closing ports..."}}};
        for (const auto &[name, texts] : captions) {
            auto *label = child<QLabel>(*window, name);
            for (const QString &text : texts) {
                label->setText(text);
                const QRect area = visibleRect(*label) & label->contentsRect();
                QVERIFY2(inkFits(*label, area, text, label->alignment()), qPrintable(text));
            }
        }
        const QList<std::pair<QLineEdit *, QString>> fields{
            {child<QLineEdit>(*window, "editip"), "255.255.255.255"},
            {child<QLineEdit>(*window, "editport"), "99999"},
            {child<QSpinBox>(*window, "spinBox")->findChild<QLineEdit *>(), "9"}};
        for (const auto &[field, text] : fields) {
            field->setText(text);
            QStyleOptionFrame frame;
            frame.initFrom(field);
            frame.rect = field->rect();
            frame.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, field) : 0;
            // A line edit keeps 2 pixels free on either side of its text.
            const QRect contents =
                field->style()->subElementRect(QStyle::SE_LineEditContents, &frame, field).adjusted(2, 0, -2, 0);
            QVERIFY2(inkFits(*field, visibleRect(*field) & contents, text, field->alignment()), qPrintable(text));
        }
        for (const char *name : {"chkTCP", "ChkUDP", "btnForward"}) {
            auto *button = child<QAbstractButton>(*window, name);
            const QSize room = visibleRect(*button).size();
            QVERIFY2(button->sizeHint().width() <= room.width() && button->sizeHint().height() <= room.height(), name);
        }
    }

    // The dialog as it opens, with the widest texts a list can hold and with none: every
    // column in view without scrolling sideways, each header and cell whole but the program's
    // name, which may be cut after 25 characters, and the buttons and the sentence whole; all
    // inside 1280 x 720 pixels of a screen, and wide enough for its title.
    void openPortsFit_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QByteArray twenty;
        for (int port = 65516; port <= 65535; ++port)
            twenty += "UDP\t" + QByteArray::number(port) + "\tfd00:1234:5678:9abc:def0:1234:5678:9abc\t1\tIPv6\tNAT-PMP\t"
                      "604799\tno\tno\tyes\t" + QByteArray(port % 2 ? 60 : 10, 'W') + '\n';
        QTest::newRow("twenty, the widest") << twenty;
        QTest::newRow("none") << QByteArray("");
    }

    void openPortsFit()
    {
        QFETCH(QByteArray, answer);
        QGuiApplication::setApplicationDisplayName(QString::fromUtf8(applicationDisplayName));
        StandIn standIn(QCoreApplication::applicationDirPath());
        standIn.answerTo("list", answer);
        const auto window = startWindow(standIn, "10.0.0.5\n");
        const std::function<void(QDialog &)> measure = [](QDialog &dialog) {
            QTest::qWait(50); // the layout's own turn, as a person sees it

            QVERIFY2(dialog.width() <= 1280 && dialog.height() <= 720,
                     qPrintable(QStringLiteral("%1 x %2").arg(dialog.width()).arg(dialog.height())));
            QFont bold = dialog.font();
            bold.setBold(true);
            const QString title = dialog.windowTitle() + " \u2014 " + QGuiApplication::applicationDisplayName();
            QVERIFY2(dialog.width() >= QFontMetrics(bold).horizontalAdvance(title) + 120, qPrintable(title));
            const auto *table = child<QTableWidget>(dialog, "portTable");
            QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
            const QFontMetrics metrics(table->font());
            const int last = table->columnCount() - 1;
            for (int column = 0; column < last; ++column) {
                const auto *header = table->horizontalHeader();
                const QString title = table->horizontalHeaderItem(column)->text();
                QVERIFY2(QFontMetrics(header->font()).horizontalAdvance(title) < header->sectionSize(column),
                         qPrintable(title));
                for (int row = 0; row < table->rowCount(); ++row) {
                    const QString text = table->item(row, column)->text();
                    QVERIFY2(metrics.horizontalAdvance(text) < table->columnWidth(column), qPrintable(text));
                }
            }
            for (int row = 0; row < table->rowCount(); ++row) {
                const QString name = table->item(row, last)->text();
                QVERIFY2(metrics.horizontalAdvance(name) < table->columnWidth(last) ||
                             table->columnWidth(last) >= 25 * metrics.averageCharWidth(),
                         qPrintable(name));
            }
            for (const QPushButton *button : dialog.findChildren<QPushButton *>())
                QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text()));
            for (const QLabel *label : dialog.findChildren<QLabel *>())
                if (label->isVisible())
                    QVERIFY2(label->sizeHint().width() <= label->width() && label->sizeHint().height() <= label->height(),
                             qPrintable(label->text()));
        };
        openPortsWithKeys(*window, DialogDriver(measure));
    }
};

QTEST_MAIN(FormFitTest)
#include "form_fit_test.moc"
