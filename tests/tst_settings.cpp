// The user's choices from one start to the next, in a temporary place, and the
// files a console must not trip over.

#include "gui/SerialPortHandler.h"
#include "gui/mainwindow.h"
#include "gui/powerchart.h"
#include "core/commandframes.h"
#include "core/consolesettings.h"
#include "core/portlisting.h"
#include "gui/powerchart.h"
#include "gui/statusline.h"
#include "mqtttestsupport.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGraphicsLineItem>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

using namespace TestSupport;

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void roundTrip();
    void badFileIgnored_data();
    void badFileIgnored();
    void unwritableSaidOnce_data();
    void unwritableSaidOnce();
    void rememberedPortGone();
    void resetStartsFromDefaults();
    void languageAtOnceKeepsTheLog();
    void languageKeepsWhatWasTyped();
    void mqttChoicesKept_data();
    void mqttChoicesKept();

private:
    QString settingsFile() const { return m_place.filePath(QStringLiteral("bench-console-test/console.conf")); }
    static void expectDefaults(const MainWindow &window);

    QTemporaryDir m_place;
    PtyPair m_first;
    PtyPair m_second;
};

void TestSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_place.path());
    QCoreApplication::setOrganizationName(QStringLiteral("bench-console-test"));
    QCoreApplication::setApplicationName(QStringLiteral("console"));
    testPorts().addExtraPort({ m_first.slavePath(), QStringLiteral("First pty"), std::nullopt, std::nullopt });
    testPorts().addExtraPort({ m_second.slavePath(), QStringLiteral("Second pty"), std::nullopt, std::nullopt });
}

void TestSettings::init()
{
    QFile::remove(settingsFile());
    QDir(settingsFile()).removeRecursively();
    QCOMPARE(QSettings().fileName(), settingsFile());
}

void TestSettings::expectDefaults(const MainWindow &window)
{
    QVERIFY(!widget<QCheckBox>(window, "checkBox_send_in_HEX")->isChecked());
    QVERIFY(widget<QLineEdit>(window, "lineEdit_file_path")->text().isEmpty());
    QVERIFY(!widget<QAction>(window, "action_auto_reconnect")->isChecked());
    QVERIFY(!widget<QAction>(window, "action_autoscale_y")->isChecked());
    QVERIFY(!widget<QAction>(window, "action_interlock")->isChecked());
    QVERIFY(window.powerChart()->limitLines().isEmpty());
    QCOMPARE(window.powerChart()->trigger().settings(), ChartTrigger::Settings());
    QCOMPARE(widget<QPushButton>(window, "pushButton_flash")->text(), QStringLiteral("烧录"));
}

void TestSettings::roundTrip()
{
    const QString imagePath = m_place.filePath(QStringLiteral("app.bin"));
    const ChartTrigger::Settings trigger { 1, 12.5, ChartTrigger::Edge::Either, ChartTrigger::Mode::Continuous, 35 };
    {
        MainWindow window(&testPorts());
        expectDefaults(window);
        QVERIFY(selectPort(window, m_second.slavePath()));
        widget<QCheckBox>(window, "checkBox_send_in_HEX")->click();
        widget<QLineEdit>(window, "lineEdit_file_path")->setText(imagePath);
        widget<QAction>(window, "action_auto_reconnect")->trigger();
        widget<QAction>(window, "action_language_english")->trigger();
        widget<QAction>(window, "action_autoscale_y")->trigger();
        widget<QAction>(window, "action_interlock")->trigger();
        QVERIFY(enterLimits(window, 3, QStringLiteral("5"), QStringLiteral("50.5")));
        QVERIFY(chooseTrigger(window, trigger));
        // Within the 800 × 800 screen of the offscreen platform, to which Qt 6.8
        // clamps a restored geometry.
        window.resize(730, 610);
    }
    MainWindow window(&testPorts());
    QCOMPARE(serialPortList.value(widget<QComboBox>(window, "comboBox_port")->currentIndex()), m_second.slavePath());
    QVERIFY(widget<QCheckBox>(window, "checkBox_send_in_HEX")->isChecked());
    QCOMPARE(widget<QLineEdit>(window, "lineEdit_file_path")->text(), imagePath);
    QVERIFY(widget<QAction>(window, "action_auto_reconnect")->isChecked());
    QVERIFY(widget<QAction>(window, "action_autoscale_y")->isChecked());
    QVERIFY(widget<QAction>(window, "action_interlock")->isChecked());
    QVERIFY(window.statusLine()->text().endsWith(QStringLiteral("Protection")));
    QList<double> limitValues;
    for (const QGraphicsLineItem *line : window.powerChart()->limitLines())
        limitValues << line->data(PowerChart::limitValueKey).toDouble();
    QCOMPARE(limitValues, QList<double>({ 5, 50.5 }));
    QCOMPARE(window.powerChart()->trigger().settings(), trigger);
    // Settings only: the trigger is armed by the user each time.
    QVERIFY(!widget<QAction>(window, "action_trigger_arm")->isChecked());
    QCOMPARE(window.size(), QSize(730, 610));
    QCOMPARE(widget<QPushButton>(window, "pushButton_flash")->text(), QStringLiteral("Flash"));
    // A remembered path is only a path: the image is read at "打开文件".
    QVERIFY(file_data.isNull());
    // Putting the mode back is not the user switching it.
    QCOMPARE(logParagraphs(window), QStringList { QStringLiteral("Serial messages") });
}

void TestSettings::badFileIgnored_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("keptAsItWas");

    const QString damaged = QStringLiteral("设置文件已损坏, 已改用默认设置: ");
    QTest::newRow("garbage") << QByteArray("\x00\x01\xff\xfe\x80 not settings", 19) << false << damaged << false;
    QTest::newRow("unterminated section") << QByteArray("[send\nhexMode=true\n") << false << damaged << false;
    QTest::newRow("no version") << QByteArray("[send]\nhexMode=true\n") << false << damaged << false;
    QTest::newRow("newer console") << QByteArray("[General]\nversion=99\n[send]\nhexMode=true\n") << false
                                   << QStringLiteral("设置文件来自更新版本的控制台, 本次使用默认设置: ") << true;
    QTest::newRow("unreadable") << QByteArray() << true << QStringLiteral("设置文件无法读取, 本次使用默认设置: ") << true;
}

void TestSettings::badFileIgnored()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, folder);
    QFETCH(QString, line);
    QFETCH(bool, keptAsItWas);

    QVERIFY(QDir().mkpath(QFileInfo(settingsFile()).absolutePath()));
    QVERIFY(folder ? QDir().mkpath(settingsFile()) : writeFile(settingsFile(), contents));
    {
        MainWindow window(&testPorts());
        expectDefaults(window);
        QCOMPARE(logParagraphs(window), (QStringList { QStringLiteral("串口报文"), line + settingsFile() }));
        widget<QCheckBox>(window, "checkBox_send_in_HEX")->click();
    }
    if (folder) {
        QVERIFY(QFileInfo(settingsFile()).isDir());
    } else if (keptAsItWas) {
        QCOMPARE(readFile(settingsFile()), contents);
    } else {
        QSettings written;
        QCOMPARE(written.value(QStringLiteral("version")).toInt(), ConsoleSettings::currentVersion);
        QCOMPARE(written.value(QStringLiteral("send/hexMode")).toBool(), true);
    }
}

void TestSettings::unwritableSaidOnce_data()
{
    QTest::addColumn<QString>("from");
    QTest::newRow("from the start") << "start";
    QTest::newRow("from a choice made") << "choice";
    QTest::newRow("from leaving") << "leaving";
}

// A file where the settings folder should be: the choices cannot be kept, and the
// user hears it once, in the pane while there is one, on standard error when leaving.
void TestSettings::unwritableSaidOnce()
{
    QFETCH(QString, from);

    const QString folder = QFileInfo(settingsFile()).absolutePath();
    const auto blockFolder = [&folder] {
        QDir(folder).removeRecursively();
        QFile file(folder);
        return file.open(QIODevice::WriteOnly);
    };
    const auto unblock = qScopeGuard([&folder] { QFile::remove(folder); });
    const QString line = QStringLiteral("设置文件无法保存, 本次的选择不会保留: ") + settingsFile();
    if (from == QLatin1String("start"))
        QVERIFY(blockFolder());
    auto window = std::make_unique<MainWindow>();
    if (from != QLatin1String("start"))
        QVERIFY(blockFolder());
    if (from == QLatin1String("leaving")) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(line));
        window.reset();
        return;
    }
    QCheckBox *const hex = widget<QCheckBox>(*window, "checkBox_send_in_HEX");
    hex->click();
    QTRY_COMPARE(logParagraphs(*window).count(line), 1);
    hex->click();
    QCoreApplication::processEvents();
    QCOMPARE(logParagraphs(*window).count(line), 1);
    QTest::failOnWarning(QRegularExpression(QRegularExpression::escape(line)));
    window.reset();
}

void TestSettings::rememberedPortGone()
{
    {
        QSettings settings;
        settings.setValue(QStringLiteral("version"), ConsoleSettings::currentVersion);
        settings.setValue(QStringLiteral("port/name"), QStringLiteral("/dev/ttyGONE0"));
        settings.setValue(QStringLiteral("port/systemLocation"), QStringLiteral("/dev/ttyGONE0"));
    }
    MainWindow window(&testPorts());
    QCOMPARE(widget<QComboBox>(window, "comboBox_port")->currentIndex(), 0);
    QCOMPARE(logParagraphs(window), QStringList { QStringLiteral("串口报文") });
}

void TestSettings::resetStartsFromDefaults()
{
    {
        MainWindow window(&testPorts());
        widget<QCheckBox>(window, "checkBox_send_in_HEX")->click();
        widget<QAction>(window, "action_language_english")->trigger();
    }
    ConsoleSettings::reset();
    MainWindow window(&testPorts());
    expectDefaults(window);
}

void TestSettings::languageAtOnceKeepsTheLog()
{
    MainWindow window(&testPorts());
    click(window, "pushButton_portClose");
    widget<QAction>(window, "action_language_english")->trigger();
    QCOMPARE(widget<QPushButton>(window, "pushButton_flash")->text(), QStringLiteral("Flash"));
    QCOMPARE(window.findChild<QMenu *>(QStringLiteral("menu_port"))->title(), QStringLiteral("Serial port"));
    click(window, "pushButton_portClose");
    QCOMPARE(logParagraphs(window),
             (QStringList { QStringLiteral("串口报文"), QStringLiteral("关闭串口"), QStringLiteral("Serial port closed") }));
    widget<QAction>(window, "action_language_chinese")->trigger();
    QCOMPARE(widget<QPushButton>(window, "pushButton_flash")->text(), QStringLiteral("烧录"));
}

// Switching the language changes the labels, never what the boxes hold.
void TestSettings::languageKeepsWhatWasTyped()
{
    MainWindow window;
    auto *const sendBox = widget<QTextEdit>(window, "textEdit_uart_send");
    sendBox->clear();
    QTest::keyClicks(sendBox, QStringLiteral("A5 5A 01"));
    const char *const fields[] = { "lineEdit_AD_addr", "lineEdit_AD_data", "lineEdit_DA_addr", "lineEdit_DA_data" };
    for (const char *field : fields)
        QTest::keyClicks(widget<QLineEdit>(window, field), QStringLiteral("1f"));
    widget<QLineEdit>(window, "lineEdit_file_path")->setText(QStringLiteral("/tmp/app.bin"));
    const int cursor = sendBox->textCursor().position();

    for (const char *language : { "action_language_english", "action_language_chinese" }) {
        window.findChild<QAction *>(QLatin1String(language))->trigger();
        QCOMPARE(sendBox->toPlainText(), QStringLiteral("A5 5A 01"));
        QCOMPARE(sendBox->textCursor().position(), cursor);
        for (const char *field : fields)
            QCOMPARE(widget<QLineEdit>(window, field)->text(), QStringLiteral("1f"));
        QCOMPARE(widget<QLineEdit>(window, "lineEdit_file_path")->text(), QStringLiteral("/tmp/app.bin"));
    }
    // Still the user's own text: typing undoes as it would have.
    sendBox->undo();
    QVERIFY(sendBox->toPlainText() != QStringLiteral("A5 5A 01"));

    // Nothing typed: the form's own text speaks the language chosen.
    MainWindow untouched;
    widget<QAction>(untouched, "action_language_english")->trigger();
    QCOMPARE(widget<QTextEdit>(untouched, "textEdit_uart_send")->toPlainText(), QStringLiteral("Commands sent"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"

void TestSettings::mqttChoicesKept_data()
{
    QTest::addColumn<bool>("rememberFirst");
    QTest::addColumn<QString>("secondRun");
    QTest::addColumn<bool>("passwordKept");
    QTest::addColumn<bool>("publishingKept");

    QTest::newRow("password remembered") << true << "" << true << true;
    QTest::newRow("password not remembered") << false << "" << false << true;
    QTest::newRow("remembering undone") << true << "publish again" << false << true;
    QTest::newRow("publishing unticked") << true << "untick" << true << false;
}

void TestSettings::mqttChoicesKept()
{
    QFETCH(bool, rememberFirst);
    QFETCH(QString, secondRun);
    QFETCH(bool, passwordKept);
    QFETCH(bool, publishingKept);

    TestBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    const QString url = broker.url(QStringLiteral("lab"));
    {
        MainWindow window(&testPorts());
        QVERIFY(publishToMqtt(window, url, QStringLiteral("rig-7"), QStringLiteral("s3cret"), rememberFirst));
        QVERIFY(widget<QAction>(window, "action_mqtt")->isChecked());
    }
    if (!secondRun.isEmpty()) {
        MainWindow window(&testPorts());
        QAction *const publishing = widget<QAction>(window, "action_mqtt");
        QVERIFY(publishing->isChecked());
        publishing->trigger();
        QVERIFY(!publishing->isChecked());
        if (secondRun == QLatin1String("publish again"))
            QVERIFY(publishToMqtt(window, url, QStringLiteral("rig-7"), QStringLiteral("s3cret"), false));
    }

    const QSettings kept(settingsFile(), QSettings::IniFormat);
    QCOMPARE(kept.value(QStringLiteral("mqtt/url")).toString(), url);
    QCOMPARE(kept.value(QStringLiteral("mqtt/board")).toString(), QStringLiteral("rig-7"));
    QCOMPARE(kept.contains(QStringLiteral("mqtt/password")), passwordKept);
    if (passwordKept) {
        QCOMPARE(kept.value(QStringLiteral("mqtt/password")).toString(), QStringLiteral("s3cret"));
        QCOMPARE(QFile::permissions(settingsFile()) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
    }

    MainWindow window(&testPorts());
    QCOMPARE(widget<QAction>(window, "action_mqtt")->isChecked(), publishingKept);
    if (publishingKept)
        QTRY_VERIFY_WITH_TIMEOUT(window.statusLine()->text().contains(QStringLiteral("MQTT 已连接")), 10000);
    else
        QVERIFY(!window.statusLine()->text().contains(QStringLiteral("MQTT")));
}
