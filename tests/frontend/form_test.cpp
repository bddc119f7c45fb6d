// The window's form: objects, texts, fixed size, icons and slot table.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QTranslator>
#include <QVBoxLayout>

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
        asked.append(QString::fromUtf8(sourceText));
        const QString text = QString::fromUtf8(sourceText);
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

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private:
    StandIn standIn;
    QTemporaryDir startDirectory;

    std::unique_ptr<MainWindow> start()
    {
        standIn.answer(textLines({QStringLiteral("10.0.0.2")}));
        return startWindow(startDirectory.path());
    }

private slots:
    void initTestCase() { QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath())); }
    void cleanup()
    {
        clearProgramDirectory();
        QIcon::setThemeName(QString());
    }

    void objects_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry"); // null: placed by the window or a layout

        QTest::newRow("centralWidget") << "QWidget" << "MainWindow" << QRect();
        QTest::newRow("btnForward") << "QPushButton" << "centralWidget" << QRect(40, 70, 101, 31);
        QTest::newRow("spinBox") << "QSpinBox" << "centralWidget" << QRect(10, 40, 31, 21);
        QTest::newRow("label") << "QLabel" << "centralWidget" << QRect(40, 20, 151, 16);
        QTest::newRow("editport") << "QLineEdit" << "centralWidget" << QRect(190, 40, 61, 21);
        QTest::newRow("editip") << "QLineEdit" << "centralWidget" << QRect(40, 40, 141, 21);
        QTest::newRow("label_2") << "QLabel" << "centralWidget" << QRect(190, 20, 47, 13);
        QTest::newRow("verticalLayoutWidget") << "QWidget" << "centralWidget" << QRect(260, 20, 74, 71);
        QTest::newRow("verticalLayout") << "QVBoxLayout" << "verticalLayoutWidget" << QRect();
        QTest::newRow("chkTCP") << "QCheckBox" << "verticalLayoutWidget" << QRect();
        QTest::newRow("ChkUDP") << "QCheckBox" << "verticalLayoutWidget" << QRect();
        QTest::newRow("label_3") << "QLabel" << "centralWidget" << QRect(260, 0, 61, 20);
        QTest::newRow("lblStatus") << "QLabel" << "centralWidget" << QRect(210, 100, 151, 21);
        QTest::newRow("mainToolBar") << "QToolBar" << "MainWindow" << QRect();
    }

    void objects()
    {
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        const auto window = start();
        const auto *object = formObject<QObject>(*window, QTest::currentDataTag());
        QVERIFY(object);
        QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
        QCOMPARE(object->parent()->objectName(), parentName);
        if (!geometry.isNull())
            QCOMPARE(qobject_cast<const QWidget *>(object)->geometry(), geometry);
    }

    void creationOrderAndLayout()
    {
        const auto window = start();
        QStringList children;
        for (const QObject *child : window->centralWidget()->children())
            children.append(child->objectName());
        QCOMPARE(children, QStringList({"btnForward", "spinBox", "label", "editport", "editip", "label_2",
                                        "verticalLayoutWidget", "label_3", "lblStatus"}));

        const auto *layout = formObject<QVBoxLayout>(*window, "verticalLayout");
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
        QCOMPARE(layout->count(), 2);
        QCOMPARE(layout->itemAt(0)->widget()->objectName(), QStringLiteral("chkTCP"));
        QCOMPARE(layout->itemAt(1)->widget()->objectName(), QStringLiteral("ChkUDP"));

        const auto *toolBar = formObject<QToolBar>(*window, "mainToolBar");
        QCOMPARE(window->toolBarArea(const_cast<QToolBar *>(toolBar)), Qt::TopToolBarArea);
        QVERIFY(toolBar->actions().isEmpty());
    }

    void textsAndStartingState()
    {
        const auto window = start();
        QCOMPARE(window->windowTitle(), QStringLiteral("Brask's Port Forwarding Tool"));
        QCOMPARE(formObject<QPushButton>(*window, "btnForward")->text(), QStringLiteral("Forward"));
        QCOMPARE(formObject<QLabel>(*window, "label")->text(), QStringLiteral("Internal IP to forward to."));
        QCOMPARE(formObject<QLabel>(*window, "label_2")->text(), QStringLiteral("Port"));
        QCOMPARE(formObject<QLabel>(*window, "label_3")->text(), QStringLiteral("Protocols"));
        const auto *port = formObject<QLineEdit>(*window, "editport");
        QCOMPARE(port->text(), QStringLiteral("5555"));
        QCOMPARE(port->inputMask(), QStringLiteral("99999"));
        for (const char *name : {"chkTCP", "ChkUDP"})
            QVERIFY(!formObject<QCheckBox>(*window, name)->isChecked());
        QCOMPARE(formObject<QCheckBox>(*window, "chkTCP")->text(), QStringLiteral("TCP"));
        QCOMPARE(formObject<QCheckBox>(*window, "ChkUDP")->text(), QStringLiteral("UDP"));
        const auto *spin = formObject<QSpinBox>(*window, "spinBox");
        QCOMPARE(spin->minimum(), 0);
        QCOMPARE(spin->maximum(), 99);
        const auto *status = formObject<QLabel>(*window, "lblStatus");
        QCOMPARE(status->font().pointSize(), 10);
        QCOMPARE(status->textFormat(), Qt::AutoText);
        QCOMPARE(status->text(), QStringLiteral("Ready"));
    }

    void windowCannotBeResized()
    {
        const auto window = start();
        QCOMPARE(window->minimumSize(), QSize(337, 139));
        QCOMPARE(window->maximumSize(), QSize(337, 139));
        QCOMPARE(window->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        for (const QSize &asked : {QSize(600, 400), QSize(100, 50)}) {
            window->resize(asked);
            QCOMPARE(window->size(), QSize(337, 139));
        }
    }

    void formTextsAreTranslatableInOrder()
    {
        RecordingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const auto window = start();
        QCoreApplication::removeTranslator(&translator);

        QCOMPARE(translator.asked, QStringList({"Brask's Port Forwarding Tool", "Forward", "Internal IP to forward to.",
                                                "99999", "5555", "Port", "TCP", "UDP", "Protocols", "Ready."}));
        QCOMPARE(window->windowTitle(), QStringLiteral("~Brask's Port Forwarding Tool"));
        QCOMPARE(formObject<QLineEdit>(*window, "editport")->text(), QStringLiteral("5555"));
        // Texts the code sets later are plain strings.
        QCOMPARE(formObject<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Ready"));
    }

    void windowIcon_data()
    {
        QTest::addColumn<bool>("themeHasIcon");
        QTest::addColumn<bool>("fileInStartDirectory");
        QTest::addColumn<QString>("themeName");
        QTest::addColumn<QSet<int>>("edges");
        QTest::newRow("theme icon a") << true << true << "a" << QSet<int>{16};
        QTest::newRow("chronometer file") << false << true << "" << QSet<int>{16, 24, 32, 48, 256};
        QTest::newRow("neither") << false << false << "" << QSet<int>{};
    }

    void windowIcon()
    {
        QFETCH(bool, themeHasIcon);
        QFETCH(bool, fileInStartDirectory);
        QFETCH(QString, themeName);
        QFETCH(QSet<int>, edges);
        QTemporaryDir themes;
        if (themeHasIcon) {
            QVERIFY(QDir(themes.path()).mkpath(QStringLiteral("test/16x16")));
            writeFile(themes.filePath(QStringLiteral("test/index.theme")),
                      "[Icon Theme]\nName=test\nDirectories=16x16\n[16x16]\nSize=16\n");
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(themes.filePath(QStringLiteral("test/16x16/a.png"))));
        }
        QIcon::setThemeSearchPaths({themes.path()});
        QIcon::setThemeName(themeHasIcon ? QStringLiteral("test") : QString());
        const QString iconFile = startDirectory.filePath(QStringLiteral("chronometer_outline_5In_icon.ico"));
        QFile::remove(iconFile);
        if (fileInStartDirectory)
            QVERIFY(QFile::copy(QStringLiteral(ICON_DIR "/chronometer_outline_5In_icon.ico"), iconFile));

        const auto window = start();
        QCOMPARE(window->windowIcon().name(), themeName);
        QCOMPARE(iconEdges(window->windowIcon()), edges);
    }

    void iconFilesHoldEveryImageSize_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("program icon") << ICON_DIR "/vr.ico";
        QTest::newRow("form icon") << ICON_DIR "/chronometer_outline_5In_icon.ico";
    }

    void iconFilesHoldEveryImageSize()
    {
        QFETCH(QString, file);
        QCOMPARE(iconEdges(QIcon(file)), QSet<int>({16, 24, 32, 48, 256}));
    }

    void slotTable()
    {
        const QMetaObject &meta = MainWindow::staticMetaObject;
        QCOMPARE(meta.className(), "MainWindow");
        QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
        QCOMPARE(meta.propertyCount(), meta.propertyOffset());
        const QByteArrayList expectedSlots{"on_lineEdit_2_textEdited(QString)", "on_lblStatus_linkActivated(QString)",
                                   "on_spinBox_valueChanged(int)", "on_btnForward_clicked()"};
        QCOMPARE(meta.methodCount() - meta.methodOffset(), expectedSlots.size());
        for (int i = 0; i < expectedSlots.size(); ++i) {
            const QMetaMethod method = meta.method(meta.methodOffset() + i);
            QCOMPARE(method.methodSignature(), expectedSlots[i]);
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), QMetaMethod::Private);
            QCOMPARE(method.returnType(), int(QMetaType::Void));
        }

        QTest::ignoreMessage(QtWarningMsg,
                             "QMetaObject::connectSlotsByName: No matching signal for on_lineEdit_2_textEdited(QString)");
        const auto window = start();
        QCOMPARE(window->qt_metacast("MainWindow"), static_cast<void *>(window.get()));
        QCOMPARE(window->qt_metacast("QMainWindow"), static_cast<void *>(static_cast<QMainWindow *>(window.get())));
    }

    void portEditTakesFiveDigitsOnly()
    {
        const auto window = start();
        auto *port = formObject<QLineEdit>(*window, "editport");
        port->clear();
        port->setFocus();
        QTest::keyClicks(port, QStringLiteral("1a2-3 4567"));
        QCOMPARE(port->text(), QStringLiteral("12345"));
    }

    void typingInTheEditsTriggersNothing()
    {
        const auto window = start();
        const int runsAtStart = standIn.runs().size();
        QTest::keyClicks(formObject<QLineEdit>(*window, "editip"), QStringLiteral("10.1.1.1"));
        QTest::keyClicks(formObject<QLineEdit>(*window, "editport"), QStringLiteral("8"));
        QCOMPARE(standIn.runs().size(), runsAtStart);
        QCOMPARE(formObject<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Ready"));
        QVERIFY(!QFile::exists(QStringLiteral("kavro.cmd")));
    }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"
