#include "coretestsupport.h"
#include "link/mqttpublisher.h"
#include "mqtttestsupport.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

using TestSupport::TestBroker;
using TestSupport::TestSubscriber;
using State = MqttPublisher::State;

class TestMqtt : public QObject
{
    Q_OBJECT

private slots:
    void everySampleTextAndEventsOnce();
    void statusOnlineThenOfflineAfterStop();
    void wrongPasswordFailsOnce();
    void brokerBackSendsTheQueueAndSaysWhatWasDropped();
    void silentBrokerSaidOnceWithoutStalling();
    void tls_data();
    void tls();
};

namespace {

const QString prefix = QStringLiteral("lab/bench1");
const QString board = QStringLiteral("board7");

// How many samples a subscriber got, each with the values and time it was fed
// with and numbered above the one before; -1, with a warning, where one is not.
qint64 checkedSamples(const TestSubscriber &subscriber)
{
    qint64 previous = -1;
    const auto samples = TestSupport::publishedSamples(subscriber.messages(QStringLiteral("/telemetry")));
    for (const TestSupport::PublishedSample &sample : samples) {
        Telemetry::Sample fed = TestSupport::numberedReadings(sample.sample);
        std::transform(fed.begin(), fed.end(), fed.begin(), [](double value) { return Telemetry::rounded(value); });
        if (sample.values != fed || sample.timestampUs != sample.sample * 100 || sample.sample <= previous) {
            qWarning() << "sample" << sample.sample << "after" << previous << "reads" << QList<double>(sample.values.begin(), sample.values.end());
            return -1;
        }
        previous = sample.sample;
    }
    return samples.size();
}

QByteArray lastPayload(const TestSubscriber &subscriber)
{
    const QList<TestSubscriber::Message> messages = subscriber.messages();
    return messages.isEmpty() ? QByteArray() : messages.constLast().payload;
}

qint64 lastSample(const TestSubscriber &subscriber)
{
    const QList<TestSupport::PublishedSample> samples =
        TestSupport::publishedSamples(subscriber.messages(QStringLiteral("/telemetry")));
    return samples.isEmpty() ? -1 : samples.constLast().sample;
}

void feed(MqttPublisher &publisher, qint64 first, qint64 count)
{
    for (qint64 sample = first; sample < first + count; ++sample)
        publisher.addSample(sample, sample * 100, TestSupport::numberedReadings(sample));
}

} // namespace

void TestMqtt::everySampleTextAndEventsOnce()
{
    TestBroker broker({ QStringLiteral("bench"), QStringLiteral("s3cret") });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, prefix + QLatin1String("/#"));
    QVERIFY(subscriber.waitUntilSubscribed());
    MqttPublisher publisher;
    QVERIFY(publisher.start({ broker.url(prefix), board, QStringLiteral("s3cret"), {} }));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 10000);

    // 4.6 s of a board at 10 000 frames a second, given all at once.
    constexpr qint64 count = 46000;
    feed(publisher, 0, count);
    const QByteArray text = QStringLiteral("启动完成\r\n").toUtf8().repeated(1000) + QByteArray("\xff\x00 raw", 6);
    publisher.addText(text);
    const QJsonObject opened{ { QStringLiteral("event"), QStringLiteral("opened") },
                              { QStringLiteral("port"), QStringLiteral("ttyUSB0") } };
    publisher.addEvent(opened);
    QVERIFY(TestSupport::processEventsUntil([&] { return checkedSamples(subscriber) == count; }, 20000));
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages(QStringLiteral("/event")).size(), 1, 10000);
    QCOMPARE(QJsonDocument::fromJson(subscriber.messages(QStringLiteral("/event")).at(0).payload).object(), opened);
    const auto received = [&] {
        QByteArray bytes;
        for (const TestSubscriber::Message &piece : subscriber.messages(QStringLiteral("/text")))
            bytes += piece.payload.size() <= 4096 ? piece.payload : QByteArray("<too long>");
        return bytes;
    };
    QTRY_COMPARE_WITH_TIMEOUT(received(), text, 10000);
    QCOMPARE(subscriber.messages(QStringLiteral("/telemetry")).at(0).topic, prefix + QLatin1String("/board7/telemetry"));
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
    TestSubscriber watching(broker, prefix + QLatin1String("/+/status"));
    QVERIFY(watching.waitUntilSubscribed());
    // The board's line going down and coming back.
    publisher.setLineUp(false);
    QTRY_COMPARE_WITH_TIMEOUT(lastPayload(watching), QByteArray("offline"), 10000);
    publisher.setLineUp(true);
    QTRY_COMPARE_WITH_TIMEOUT(lastPayload(watching), QByteArray("online"), 10000);
    publisher.stop();
    QCOMPARE(publisher.state(), State::Off);
    TestSubscriber after(broker, prefix + QLatin1String("/+/status"));
    QTRY_VERIFY_WITH_TIMEOUT(!after.messages().isEmpty(), 10000);
    QCOMPARE(after.messages().constLast().payload, QByteArray("offline"));
    QVERIFY(after.messages().constLast().retained);
}

void TestMqtt::wrongPasswordFailsOnce()
{
    TestBroker broker({ QStringLiteral("bench"), QStringLiteral("s3cret") });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    MqttPublisher publisher;
    QSignalSpy lines(&publisher, &MqttPublisher::message);
    QVERIFY(publisher.start({ broker.url(prefix), board, QStringLiteral("wrong"), {} }));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Failed, 10000);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.at(0).at(0).toString(),
             QStringLiteral("MQTT 连接失败: Connection Refused: not authorised., 不再重试"));
    publisher.stop();
    QCOMPARE(lines.size(), 1);
}

void TestMqtt::brokerBackSendsTheQueueAndSaysWhatWasDropped()
{
    TestBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, prefix + QLatin1String("/#"));
    QVERIFY(subscriber.waitUntilSubscribed());
    MqttPublisher publisher;
    // A second of telemetry waits for the broker: 10 000 samples 100 µs apart.
    publisher.setTelemetryQueueLimitMs(1000);
    QSignalSpy lines(&publisher, &MqttPublisher::message);
    QVERIFY(publisher.start({ broker.url(prefix), board, {}, {} }));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 10000);
    feed(publisher, 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(lastSample(subscriber), 4999, 10000);

    broker.stop();
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Reconnecting, 10000);
    // 3 s of samples and an event while the broker is away.
    feed(publisher, 5000, 30000);
    publisher.addEvent({ { QStringLiteral("event"), QStringLiteral("lost") } });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(lastSample(subscriber), 34999, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages(QStringLiteral("/event")).size(), 1, 10000);

    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).at(0).toString().startsWith(QStringLiteral("MQTT 连接失败: ")),
             qPrintable(lines.at(0).at(0).toString()));
    const qint64 received = checkedSamples(subscriber);
    const qint64 dropped = 35000 - received;
    QVERIFY2(dropped >= 20000 && dropped <= 21000, qPrintable(QString::number(dropped)));
    QCOMPARE(lines.at(1).at(0).toString(),
             QStringLiteral("MQTT 已重新连接, 断开期间丢弃了 %1 个样本").arg(dropped));
}

void TestMqtt::silentBrokerSaidOnceWithoutStalling()
{
    // Takes connections and never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    MqttPublisher publisher;
    QSignalSpy lines(&publisher, &MqttPublisher::message);
    QVERIFY(publisher.start(
        { QStringLiteral("mqtt://127.0.0.1:%1/lab").arg(silent.serverPort()), board, {}, {} }));
    // The caller goes on feeding while nothing answers.
    feed(publisher, 0, 20000);
    publisher.addText("boot\n");
    QVERIFY(TestSupport::processEventsUntil([&] { return !lines.isEmpty(); }, 15000));
    QCOMPARE(lines.at(0).at(0).toString(), QStringLiteral("MQTT 连接失败: 代理在 5 秒内没有应答"));
    QCOMPARE(publisher.state(), State::Reconnecting);
    // The next attempt is not said again.
    QList<QTcpSocket *> attempts;
    QVERIFY(TestSupport::processEventsUntil(
        [&] {
            while (QTcpSocket *attempt = silent.nextPendingConnection())
                attempts.append(attempt);
            return attempts.size() >= 2;
        },
        15000));
    QCOMPARE(lines.size(), 1);
    publisher.stop();
    QCOMPARE(publisher.state(), State::Off);
}

void TestMqtt::tls_data()
{
    QTest::addColumn<QString>("certificateHost");
    QTest::addColumn<bool>("trustTestCa");
    QTest::addColumn<QString>("failure"); // a part of the line, empty where it connects

    QTest::newRow("test CA") << "localhost" << true << "";
    QTest::newRow("certificate for another host") << "elsewhere.example" << true << "certificate verify failed";
    QTest::newRow("system store") << "localhost" << false << "certificate verify failed";
}

void TestMqtt::tls()
{
    QFETCH(QString, certificateHost);
    QFETCH(bool, trustTestCa);
    QFETCH(QString, failure);
    TestBroker::Options options;
    options.tls = true;
    options.certificateHost = certificateHost;
    TestBroker broker(options);
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    MqttPublisher publisher;
    QSignalSpy lines(&publisher, &MqttPublisher::message);
    QVERIFY(publisher.start({ QStringLiteral("mqtts://localhost:%1/lab").arg(broker.port()), board, {},
                              trustTestCa ? broker.caFile() : QString() }));
    if (failure.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Connected, 10000);
        QVERIFY(lines.isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), State::Failed, 10000);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).at(0).toString().contains(failure), qPrintable(lines.at(0).at(0).toString()));
}

QTEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
