#include "coretestsupport.h"
#include "link/mqttpublisher.h"
#include "mqtttestsupport.h"

#include <QDateTime>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using TestSupport::TestBroker;
using TestSupport::TestSubscriber;
using State = MqttPublisher::State;

class TestMqtt : public QObject
{
    Q_OBJECT

private slots:
    void everySampleOnceInOrder();
    void textAndEvents();
    void statusOnlineThenOfflineAfterStop();
    void killedProcessLeavesOffline();
};

namespace {

const QString prefix = QStringLiteral("lab/bench1");
const QString board = QStringLiteral("board7");

// The samples a subscriber got, checked against what was fed: every number once,
// in order, with its values; the number of samples, or -1 with a warning.
qint64 checkedSamples(const QList<TestSubscriber::Message> &messages, qint64 firstSample = 0)
{
    qint64 next = firstSample;
    for (const TestSubscriber::Message &message : messages) {
        const QJsonObject object = QJsonDocument::fromJson(message.payload).object();
        if (object.value(QLatin1String("sample")).toInteger(-1) != next) {
            qWarning() << "expected sample" << next << "got" << object.value(QLatin1String("sample"));
            return -1;
        }
        const QJsonArray times = object.value(QLatin1String("timestamp_us")).toArray();
        for (qsizetype i = 0; i < times.size(); ++i, ++next) {
            const Telemetry::Sample expected = TestSupport::numberedReadings(next);
            for (int series = 0; series < Telemetry::seriesCount; ++series) {
                const double value = object.value(QLatin1String(Telemetry::seriesNames[series])).toArray().at(i).toDouble();
                if (value != Telemetry::rounded(expected[series]) || times.at(i).toInteger() != next * 100) {
                    qWarning() << "sample" << next << "curve" << series << "reads" << value;
                    return -1;
                }
            }
        }
    }
    return next - firstSample;
}

void feed(MqttPublisher &publisher, qint64 first, qint64 count)
{
    for (qint64 sample = first; sample < first + count; ++sample)
        publisher.addSample(sample, sample * 100, TestSupport::numberedReadings(sample));
}

} // namespace

void TestMqtt::everySampleOnceInOrder()
{
    TestBroker broker({ QStringLiteral("bench"), QStringLiteral("s3cret") });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, prefix + QLatin1String("/#"));
    QVERIFY(subscriber.waitUntilSubscribed());

    MqttPublisher publisher;
    QVERIFY(publisher.start({ broker.url(prefix), board, QStringLiteral("s3cret"), {} }));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 10000);
    // 46 000 samples 100 µs apart: 4.6 s of a board at 10 000 frames a second,
    // given all at once.
    constexpr qint64 count = 46000;
    feed(publisher, 0, count);
    QVERIFY(TestSupport::processEventsUntil(
        [&] { return checkedSamples(subscriber.messages(QStringLiteral("/telemetry"))) == count; }, 20000));
    for (const TestSubscriber::Message &message : subscriber.messages(QStringLiteral("/telemetry"))) {
        QCOMPARE(message.topic, prefix + QLatin1Char('/') + board + QLatin1String("/telemetry"));
        QVERIFY(QJsonDocument::fromJson(message.payload).object().value(QLatin1String("timestamp_us")).toArray().size()
                <= 1000);
    }
}

void TestMqtt::textAndEvents()
{
    TestBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, prefix + QLatin1String("/#"));
    QVERIFY(subscriber.waitUntilSubscribed());
    MqttPublisher publisher;
    QVERIFY(publisher.start({ broker.url(prefix), board, {}, {} }));

    const QByteArray text = QStringLiteral("启动完成\r\n").toUtf8().repeated(1000) + QByteArray("\xff\x00 raw", 6);
    publisher.addText(text);
    const QJsonObject opened{ { QStringLiteral("event"), QStringLiteral("opened") },
                              { QStringLiteral("port"), QStringLiteral("ttyUSB0") } };
    publisher.addEvent(opened);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages(QStringLiteral("/event")).size(), 1, 10000);
    QCOMPARE(QJsonDocument::fromJson(subscriber.messages(QStringLiteral("/event")).at(0).payload).object(), opened);
    QByteArray received;
    QVERIFY(TestSupport::processEventsUntil(
        [&] {
            received.clear();
            for (const TestSubscriber::Message &piece : subscriber.messages(QStringLiteral("/text")))
                received += piece.payload;
            return received.size() >= text.size();
        },
        10000));
    QCOMPARE(received, text);
    for (const TestSubscriber::Message &piece : subscriber.messages(QStringLiteral("/text")))
        QVERIFY(piece.payload.size() <= 4096);
}

void TestMqtt::statusOnlineThenOfflineAfterStop()
{
    TestBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    MqttPublisher publisher;
    QVERIFY(publisher.start({ broker.url(prefix), board, {}, {} }));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 10000);
    {
        // Subscribed after the fact: "online" is retained.
        TestSubscriber late(broker, prefix + QLatin1String("/+/status"));
        QTRY_VERIFY_WITH_TIMEOUT(!late.messages().isEmpty(), 10000);
        QCOMPARE(late.messages().constLast().payload, QByteArray("online"));
        QVERIFY(late.messages().constLast().retained);
    }
    publisher.stop();
    QCOMPARE(publisher.state(), State::Off);
    TestSubscriber after(broker, prefix + QLatin1String("/+/status"));
    QTRY_VERIFY_WITH_TIMEOUT(!after.messages().isEmpty(), 10000);
    QCOMPARE(after.messages().constLast().payload, QByteArray("offline"));
    QVERIFY(after.messages().constLast().retained);
}

void TestMqtt::killedProcessLeavesOffline()
{
    TestBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, prefix + QLatin1String("/+/status"));
    QVERIFY(subscriber.waitUntilSubscribed());
    QProcess program;
    program.start(QStringLiteral(MQTT_TEST_PUBLISHER), { broker.url(prefix), board });
    QVERIFY(program.waitForStarted());
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += program.readAllStandardOutput()).contains("connected"),
                              program.readAllStandardError().constData(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!subscriber.messages().isEmpty(), 10000);
    QCOMPARE(subscriber.messages().constLast().payload, QByteArray("online"));
    program.kill();
    QVERIFY(program.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages().constLast().payload, QByteArray("offline"), 10000);
}

QTEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
