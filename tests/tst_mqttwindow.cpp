// Publishing from the window to a broker of the test's own: every sample of a fast
// board once, in order and with the recording's values, the board's text and the
// events; "offline" left when the window goes; settings and logins refused.

#include "core/telemetrycsv.h"
#include "gui/powerchart.h"
#include "gui/statusline.h"
#include "mqtttestsupport.h"
#include "testsupport.h"

#include <QAction>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace TestSupport;

namespace {

const QString user = QStringLiteral("bench");
const QString password = QStringLiteral("pa55word");

QJsonObject jsonOf(const TestSubscriber::Message &message)
{
    return QJsonDocument::fromJson(message.payload).object();
}

} // namespace

class TestMqttWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void everySampleOnceInOrder();
    void refusalSaidOnce_data();
    void refusalSaidOnce();

private:
    std::unique_ptr<DebugMessages> m_debug;
};

void TestMqttWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // The frames' debug lines are kept, not printed.
    m_debug = std::make_unique<DebugMessages>();
}

void TestMqttWindow::cleanupTestCase()
{
    m_debug.reset();
}

void TestMqttWindow::everySampleOnceInOrder()
{
    TestBroker broker({ user, password });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, QStringLiteral("lab/#"));
    QVERIFY(subscriber.waitUntilSubscribed());
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("run.csv"));

    auto console = std::make_unique<PtyConsole>(false);
    MainWindow &window = console->window();
    QVERIFY(publishToMqtt(window, broker.url(QStringLiteral("lab")), QStringLiteral("rig"), password, false));
    QTRY_VERIFY_WITH_TIMEOUT(window.statusLine()->text().contains(QStringLiteral("MQTT 已连接")), 10000);
    QVERIFY(selectPort(window, console->board().slavePath()));
    click(window, "pushButton_portOpen");
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return csvPath; });
    widget<QAction>(window, "action_record_telemetry")->trigger();

    constexpr qint64 frames = 9000 * 5;
    const qint64 firstSample = window.powerChart()->data().sampleCount();
    {
        StreamingBoard streaming(console->board(), 0, frames, 9000);
        QVERIFY(processEventsUntil(
            [&] { return window.powerChart()->data().sampleCount() == firstSample + frames; }, 30000));
    }
    const QByteArray boardText = QByteArrayLiteral("boot ok, 电源正常\n");
    QVERIFY(console->boardSends(boardText));
    widget<QAction>(window, "action_record_telemetry")->trigger();
    QCOMPARE(recordedRows(csvPath, firstSample, 0), frames);

    // Every sample once and in order, with the values the recording has.
    const QList<QByteArray> rows = readFile(csvPath).split('\n').mid(1);
    const auto published = [&subscriber](const QString &topic) {
        QByteArray all;
        for (const TestSubscriber::Message &message : subscriber.messages(topic))
            all += message.payload;
        return all;
    };
    const auto samplesPublished = [&subscriber] {
        qint64 samples = 0;
        for (const TestSubscriber::Message &message : subscriber.messages(QStringLiteral("/telemetry")))
            samples += jsonOf(message).value(QStringLiteral("timestamp_us")).toArray().size();
        return samples;
    };
    QTRY_VERIFY_WITH_TIMEOUT(samplesPublished() >= frames, 20000);
    qint64 next = firstSample;
    for (const TestSubscriber::Message &message : subscriber.messages(QStringLiteral("/telemetry"))) {
        QCOMPARE(message.topic, QStringLiteral("lab/rig/telemetry"));
        const QJsonObject object = jsonOf(message);
        QCOMPARE(object.value(QStringLiteral("sample")).toInteger(), next);
        const qsizetype count = object.value(QStringLiteral("timestamp_us")).toArray().size();
        for (qsizetype i = 0; i < count; ++i, ++next) {
            QVERIFY(next < firstSample + frames);
            const QList<QByteArray> fields = rows.at(next - firstSample).split(',');
            for (int series = 0; series < Telemetry::seriesCount; ++series) {
                const QJsonArray values = object.value(QLatin1String(Telemetry::seriesNames[size_t(series)])).toArray();
                QCOMPARE(values.at(i).toDouble(), fields.at(3 + series).toDouble());
            }
        }
    }
    QCOMPARE(next, firstSample + frames);
    QTRY_COMPARE(published(QStringLiteral("/text")), boardText);
    const QJsonObject opened = jsonOf(subscriber.messages(QStringLiteral("/event")).value(0));
    QCOMPARE(opened.value(QStringLiteral("event")).toString(), QStringLiteral("opened"));
    QCOMPARE(opened.value(QStringLiteral("port")).toString(), console->board().slavePath());

    const auto lastStatus = [&subscriber] {
        const QList<TestSubscriber::Message> status = subscriber.messages(QStringLiteral("/status"));
        return status.isEmpty() ? QByteArray() : status.last().payload;
    };
    console.reset();
    QTRY_COMPARE_WITH_TIMEOUT(lastStatus(), QByteArray("offline"), 10000);
}

void TestMqttWindow::refusalSaidOnce_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("password");

    QTest::newRow("not a broker's URL") << "http://127.0.0.1/lab" << "rig" << password;
    QTest::newRow("no board name") << "" << "" << password;
    QTest::newRow("wrong password") << "" << "rig" << "wrong";
}

// Settings that cannot be used keep the dialog open and start nothing; a refused
// login is one line and a failed state, not retried.
void TestMqttWindow::refusalSaidOnce()
{
    QFETCH(QString, url);
    QFETCH(QString, board);
    QFETCH(QString, password);

    TestBroker broker({ user, ::password });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    PtyConsole console;
    MainWindow &window = console.window();
    const bool usable = url.isEmpty() && !board.isEmpty();
    QCOMPARE(publishToMqtt(window, url.isEmpty() ? broker.url(QStringLiteral("lab")) : url, board, password, false),
             usable);
    if (!usable) {
        QDialog *const dialog = window.findChild<QDialog *>(QStringLiteral("dialog_mqtt"));
        QVERIFY(!dialog->findChild<QLabel *>(QStringLiteral("label_mqtt_problem"))->text().isEmpty());
        dialog->reject();
        QVERIFY(!widget<QAction>(window, "action_mqtt")->isChecked());
        QVERIFY(!window.statusLine()->text().contains(QStringLiteral("MQTT")));
        QVERIFY(console.newLogLines().isEmpty());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(window.statusLine()->text().contains(QStringLiteral("MQTT 连接失败")), 10000);
    QStringList lines;
    QTRY_VERIFY(!(lines += console.newLogLines()).isEmpty());
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QStringLiteral("MQTT 连接失败: ")), qPrintable(lines.first()));
}

QTEST_MAIN(TestMqttWindow)
#include "tst_mqttwindow.moc"
