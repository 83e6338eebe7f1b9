#include "gui/mainwindow.h"
#include "gui/SerialPortHandler.h"
#include "gui/powerchart.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

using namespace TestSupport;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void slotTable();
    void everyHandlerBindsByName();
    void startState();
    void registerFieldsRefuseNonHex_data();
    void registerFieldsRefuseNonHex();
    void hexCheckBoxAnnouncesModes();
    void secondWindowGoneFirstKeepsReceiving();
    void startWithoutDisplay_data();
    void startWithoutDisplay();
    void textsShowWhole_data();
    void textsShowWhole();
    void fileMenuKeys_data();
    void fileMenuKeys();
};

void TestMainWindow::slotTable()
{
    const QStringList expected {
        "on_pushButton_port_refresh_clicked()",
        "on_pushButton_portOpen_clicked()",
        "on_pushButton_portClose_clicked()",
        "on_pushButton_uart_send_clicked()",
        "ReceiveSerialPortData()",
        "on_checkBox_send_in_HEX_checkStateChanged(Qt::CheckState)",
        "on_textEdit_uart_send_textChanged()",
        "on_pushButton_ARM_reset_clicked()",
        "on_pushButton_erase_APP_clicked()",
        "on_pushButton_jump_to_APP_clicked()",
        "on_pushButton_GPU_power_on_clicked()",
        "on_pushButton_GPU_power_off_clicked()",
        "on_checkBox_GPU_power_draw_stateChanged(int)",
        "on_verticalSlider_GPU_FAN_speed_actionTriggered(int)",
        "on_pushButton_AD_write_reg_clicked()",
        "on_pushButton_DA_write_reg_clicked()",
        "on_pushButton_AD_init_clicked()",
        "on_pushButton_DA_init_clicked()",
        "on_pushButton_open_File_clicked()",
        "on_pushButton_flash_clicked()",
    };

    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta.methodCount() - meta.methodOffset(), qsizetype(expected.size()));
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(QString::fromLatin1(method.methodSignature()), expected.at(i));
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
    }
}

void TestMainWindow::everyHandlerBindsByName()
{
    // Binding by name warns for every on_ slot whose object or signal is missing.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
    const MainWindow window;

    const QMetaObject &meta = MainWindow::staticMetaObject;
    const QRegularExpression handlerName(QStringLiteral("^on_(.+)_([A-Za-z]+)\\((.*)\\)$"));
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QString signature = QString::fromLatin1(meta.method(i).methodSignature());
        const QRegularExpressionMatch match = handlerName.match(signature);
        if (!match.hasMatch())
            continue;
        const QObject *child = window.findChild<QObject *>(match.captured(1));
        QVERIFY2(child, qPrintable(signature));
        const QByteArray signal = QMetaObject::normalizedSignature(
            qPrintable(match.captured(2) + u'(' + match.captured(3) + u')'));
#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
        if (signal == "checkStateChanged(Qt::CheckState)")
            continue; // reached through stateChanged there, checked in hexCheckBoxAnnouncesModes
#endif
        QVERIFY2(child->metaObject()->indexOfSignal(signal) >= 0, qPrintable(signature));
    }
}

void TestMainWindow::startState()
{
    // What the application asked of the debug output outlives the window's form.
    QLoggingCategory::setFilterRules(QStringLiteral("bench.test.debug=false"));
    const QLoggingCategory asked("bench.test");
    const MainWindow window;
    QVERIFY(!asked.isDebugEnabled());
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(logParagraphs(window), QStringList { "串口报文" });
    QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
}

void TestMainWindow::registerFieldsRefuseNonHex_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    for (const char *field : { "lineEdit_AD_addr", "lineEdit_AD_data", "lineEdit_DA_addr", "lineEdit_DA_data" }) {
        QTest::addRow("%s x", field) << field << "x" << "";
        QTest::addRow("%s g", field) << field << "g" << "";
        QTest::addRow("%s comma", field) << field << "," << "";
        QTest::addRow("%s 0x12", field) << field << "0x12" << "012";
        QTest::addRow("%s hex digits and blanks", field) << field << "aF 09 Bc" << "aF 09 Bc";
    }
}

void TestMainWindow::registerFieldsRefuseNonHex()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    MainWindow window;
    QLineEdit *edit = widget<QLineEdit>(window, qPrintable(field));
    QVERIFY(edit);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), kept);
}

void TestMainWindow::hexCheckBoxAnnouncesModes()
{
    MainWindow window;
    QCheckBox *hex = widget<QCheckBox>(window, "checkBox_send_in_HEX");
    hex->click();
    hex->click();
    QCOMPARE(logParagraphsFrom(window, 1), (QStringList { "HEX模式", "文本模式" }));
    QCOMPARE(paragraphColour(window, 1), QColor("orange"));
    QCOMPARE(paragraphColour(window, 2), QColor("orange"));
}

// Each window owns its receive path and chart: one that comes and goes takes
// nothing of the first one's with it.
void TestMainWindow::secondWindowGoneFirstKeepsReceiving()
{
    DebugMessages debug;
    PtyConsole console;
    QVERIFY(console.board().isValid());
    delete new MainWindow(&testPorts());
    // The one port is the process's: the second window closed it on its way out.
    click(console.window(), "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());

    const PowerChart *chart = console.window().findChild<PowerChart *>();
    QVERIFY(chart);
    const QByteArray frame = QByteArray::fromHex("FFFF000000640A50F07F");
    QVERIFY(console.boardSends(frame.left(4)));
    QVERIFY(console.boardSends(frame.mid(4)));
    QCOMPARE(chart->data().sampleCount(), 1);
    QCOMPARE(chart->data().points(4).constLast(), QPointF(0, 127));

    // A head that nothing completes is let go once the line is quiet.
    QVERIFY(console.boardSends(frame.left(3)));
    QTRY_VERIFY(DebugMessages::messages().contains(QStringLiteral("遥测帧不完整, 已丢弃: ff ff 00")));
    QCOMPARE(chart->data().sampleCount(), 1);
}

void TestMainWindow::startWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    QTest::newRow("no session: one line, status 1") << QStringList() << 1
        << "bench-console: needs a graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
    QTest::newRow("--version needs none") << QStringList { "--version" } << 0 << "bench-console " BENCH_CONSOLE_VERSION "\n";
    QTest::newRow("--help needs none") << QStringList { "--help" } << 0 << "Usage: bench-console [options]\n";
    QTest::newRow("--help-all needs none") << QStringList { "--help-all" } << 0 << "Usage: bench-console [options]\n";
}

// Started from a text console or over ssh without X forwarding, the console says
// what it needs instead of aborting in Qt's platform plugin.
void TestMainWindow::startWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), QDir::tempPath());
    QProcess console;
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(BENCH_CONSOLE_EXECUTABLE), arguments);
    QVERIFY(console.waitForFinished(10000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), exitCode);
    const QString printed = QString::fromUtf8(exitCode == 0 ? console.readAllStandardOutput() : console.readAllStandardError());
    if (exitCode == 0)
        QVERIFY2(printed.startsWith(output), qPrintable(printed));
    else
        QCOMPARE(printed, output);
}

namespace {

// The width in which a control's text can be seen: its own, less what a sibling
// made after it, and so lying above it, covers of its right part.
int visibleWidth(const QWidget *control)
{
    QRect seen = control->geometry();
    const QObjectList siblings = control->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(control) + 1; i < siblings.size(); ++i) {
        const auto *sibling = qobject_cast<const QWidget *>(siblings.at(i));
        if (sibling && sibling->isVisible() && sibling->geometry().intersects(seen) && sibling->x() > seen.left())
            seen.setRight(sibling->x() - 1);
    }
    return seen.width();
}

// Captions and check boxes need their size hint; a push button's text is drawn
// within its contents rectangle, and its size hint holds a style's minimum besides.
bool textShowsWhole(const QWidget *control, QString *measured)
{
    int needed = control->sizeHint().width();
    int room = visibleWidth(control);
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        needed = button->fontMetrics().horizontalAdvance(button->text());
        room -= button->width() - button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    *measured = QStringLiteral("\"%1\" needs %2 px, has %3").arg(control->property("text").toString()).arg(needed).arg(room);
    return needed <= room;
}

} // namespace

void TestMainWindow::textsShowWhole_data()
{
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("name");

    const MainWindow window;
    QStringList names;
    for (const QWidget *control : window.findChildren<QWidget *>()) {
        if ((qobject_cast<const QLabel *>(control) || qobject_cast<const QAbstractButton *>(control))
            && !control->objectName().isEmpty() && !control->objectName().startsWith(QLatin1String("qt_"))
            && !control->property("text").toString().isEmpty())
            names.append(control->objectName());
    }
    for (const bool english : { false, true }) {
        for (const QString &name : std::as_const(names))
            QTest::addRow("%s %s", english ? "English" : "中文", qPrintable(name)) << english << name;
    }
}

// At the window's default size, in either language, no caption or button cuts its text.
void TestMainWindow::textsShowWhole()
{
    QFETCH(bool, english);
    QFETCH(QString, name);

    MainWindow window;
    if (english)
        window.findChild<QAction *>(QStringLiteral("action_language_english"))->trigger();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QWidget *const control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QString measured;
    QVERIFY2(textShowsWhole(control, &measured), qPrintable(measured));
}

void TestMainWindow::fileMenuKeys_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QKeySequence::StandardKey>("key");

    QTest::newRow("保存日志… Save") << "action_save_log" << QKeySequence::Save;
    QTest::newRow("退出 Quit") << "action_quit" << QKeySequence::Quit;
}

// The platform's own keys, wherever the focus is in the window.
void TestMainWindow::fileMenuKeys()
{
    QFETCH(QString, action);
    QFETCH(QKeySequence::StandardKey, key);

    MainWindow window;
    window.setSaveFileChooser([](QWidget *, const QString &, const QString &) { return QString(); });
    QAction *const menuAction = window.findChild<QAction *>(action);
    QCOMPARE(menuAction->shortcuts(), QKeySequence::keyBindings(key));
    if (menuAction->shortcuts().isEmpty())
        QSKIP("The platform names no key for this");
    window.show();
    // A display without a window manager activates only a window that asks.
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget *const sendBox = widget<QWidget>(window, "textEdit_uart_send");
    sendBox->setFocus();
    QSignalSpy triggered(menuAction, &QAction::triggered);
    for (const QKeySequence &sequence : menuAction->shortcuts())
        QTest::keySequence(sendBox, sequence);
    QCOMPARE(triggered.size(), menuAction->shortcuts().size());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
