// The window as built: its form's objects, texts and fixed size, its icons and slot
// table, and the spin box that picks one of the addresses the start-up got.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTranslator>

#include <tuple>

namespace {

// Marks every form text it is asked for, in the order asked.
class RecordingTranslator : public QTranslator
{
public:
    mutable QStringList asked;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "MainWindow") != 0)
            return QString();
        const QString text = QString::fromUtf8(sourceText);
        asked.append(text);
        // The port mask and default stay usable; every caption gets a visible mark.
        return text.at(0).isDigit() ? text : QStringLiteral("~") + text;
    }
};

QSet<int> iconEdges(const QIcon &icon)
{
    QSet<int> edges;
    for (const QSize &size : icon.availableSizes()) {
        if (size.width() == size.height())
            edges.insert(size.width());
    }
    return edges;
}

const QSet<int> everyIconEdge{16, 24, 32, 48, 256};

QStringList numberedAddresses(int count)
{
    QStringList addresses;
    for (int i = 0; i < count; ++i)
        addresses.append(QStringLiteral("10.0.%1.%2").arg(i / 200).arg(i % 200 + 1));
    return addresses;
}

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private:
    StandIn standIn;
    QTemporaryDir startDirectory;

    std::unique_ptr<MainWindow> start(const QStringList &addresses = {QStringLiteral("10.0.0.2")})
    {
        standIn.answer(textLines(addresses));
        return startWindow(startDirectory.path());
    }

private slots:
    void initTestCase() { QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath())); }
    void cleanup() { QIcon::setThemeName(QString()); }

    void objects()
    {
        const auto window = start();
        // Geometry null: placed by the window or a layout.
        const QList<std::tuple<const char *, const char *, const char *, QRect>> objects{
            {"centralWidget", "QWidget", "MainWindow", {}},
            {"btnForward", "QPushButton", "centralWidget", {40, 70, 101, 31}},
            {"spinBox", "QSpinBox", "centralWidget", {10, 40, 31, 21}},
            {"label", "QLabel", "centralWidget", {40, 20, 151, 16}},
            {"editport", "QLineEdit", "centralWidget", {190, 40, 61, 21}},
            {"editip", "QLineEdit", "centralWidget", {40, 40, 141, 21}},
            {"label_2", "QLabel", "centralWidget", {190, 20, 47, 13}},
            {"verticalLayoutWidget", "QWidget", "centralWidget", {260, 20, 74, 71}},
            {"verticalLayout", "QVBoxLayout", "verticalLayoutWidget", {}},
            {"chkTCP", "QCheckBox", "verticalLayoutWidget", {}},
            {"ChkUDP", "QCheckBox", "verticalLayoutWidget", {}},
            {"label_3", "QLabel", "centralWidget", {260, 0, 61, 20}},
            {"lblStatus", "QLabel", "centralWidget", {210, 100, 151, 21}},
            {"mainToolBar", "QToolBar", "MainWindow", {}}};
        for (const auto &[name, className, parentName, geometry] : objects) {
            const auto *object = formObject<QObject>(*window, name);
            QVERIFY2(object, name);
            QCOMPARE(object->metaObject()->className(), className);
            QCOMPARE(object->parent()->objectName(), QString::fromLatin1(parentName));
            if (!geometry.isNull())
                QCOMPARE(qobject_cast<const QWidget *>(object)->geometry(), geometry);
        }
    }

    void translatedTextsAndStartingState()
    {
        RecordingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const auto window = start();
        QCoreApplication::removeTranslator(&translator);

        // In the order retranslateUi sets them: the mask before the port text.
        QCOMPARE(translator.asked, QStringList({"Brask's Port Forwarding Tool", "Forward", "Internal IP to forward to.",
                                                "99999", "5555", "Port", "TCP", "UDP", "Protocols", "Ready."}));
        QCOMPARE(window->windowTitle(), QStringLiteral("~Brask's Port Forwarding Tool"));
        const QList<std::tuple<const char *, const char *, QVariant>> properties{
            {"btnForward", "text", "~Forward"}, {"label", "text", "~Internal IP to forward to."},
            {"label_2", "text", "~Port"}, {"label_3", "text", "~Protocols"},
            {"chkTCP", "text", "~TCP"}, {"ChkUDP", "text", "~UDP"},
            {"chkTCP", "checked", false}, {"ChkUDP", "checked", false},
            {"editport", "inputMask", "99999"}, {"editport", "text", "5555"},
            {"spinBox", "minimum", 0}, {"spinBox", "maximum", 99},
            // Texts the code sets later are plain strings.
            {"lblStatus", "text", "Ready"}};
        for (const auto &[name, property, value] : properties)
            QCOMPARE(formObject<QObject>(*window, name)->property(property), value);
    }

    void windowCannotBeResized()
    {
        const auto window = start();
        QCOMPARE(window->sizePolicy(), QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed));
        for (const QSize &asked : {QSize(600, 400), QSize(100, 50)}) {
            window->resize(asked);
            QCOMPARE(window->size(), QSize(337, 139));
        }
    }

    void windowIcon_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QSet<int>>("edges");
        QTest::newRow("theme icon a") << "theme" << QSet<int>{16};
        QTest::newRow("chronometer file") << "file" << everyIconEdge;
        QTest::newRow("neither") << "" << QSet<int>{};
    }

    void windowIcon()
    {
        QFETCH(QString, source);
        QFETCH(QSet<int>, edges);
        // With the theme icon the file is there too: the theme comes first.
        QTemporaryDir themes;
        const bool theme = source == QLatin1String("theme");
        if (theme) {
            QVERIFY(QDir(themes.path()).mkpath(QStringLiteral("test/16x16")));
            writeFile(themes.filePath(QStringLiteral("test/index.theme")),
                      "[Icon Theme]\nName=test\nDirectories=16x16\n[16x16]\nSize=16\n");
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(themes.filePath(QStringLiteral("test/16x16/a.png"))));
        }
        QIcon::setThemeSearchPaths({themes.path()});
        QIcon::setThemeName(theme ? QStringLiteral("test") : QString());
        const QString iconFile = startDirectory.filePath(QStringLiteral("chronometer_outline_5In_icon.ico"));
        QFile::remove(iconFile);
        if (!source.isEmpty())
            QVERIFY(QFile::copy(QStringLiteral(ICON_DIR "/chronometer_outline_5In_icon.ico"), iconFile));

        const auto window = start();
        QCOMPARE(window->windowIcon().name(), theme ? QStringLiteral("a") : QString());
        QCOMPARE(iconEdges(window->windowIcon()), edges);
    }

    void programIconHoldsEveryImageSize()
    {
        QCOMPARE(iconEdges(QIcon(QStringLiteral(ICON_DIR "/vr.ico"))), everyIconEdge);
    }

    void slotTable()
    {
        const QMetaObject &meta = MainWindow::staticMetaObject;
        QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
        const QByteArrayList expected{"on_lineEdit_2_textEdited(QString)", "on_lblStatus_linkActivated(QString)",
                                      "on_spinBox_valueChanged(int)", "on_btnForward_clicked()"};
        QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QMetaMethod method = meta.method(meta.methodOffset() + i);
            QCOMPARE(method.methodSignature(), expected[i]);
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), QMetaMethod::Private);
        }
    }

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

QTEST_MAIN(FormTest)
#include "form_test.moc"
