#include "core/mqtttelemetry.h"
#include "core/mqtturl.h"
#include "coretestsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestMqttUnits : public QObject
{
    Q_OBJECT

private slots:
    void url_data();
    void url();
    void batchJson();
    void batchTakesConsecutiveSamplesUpToItsSize();
    void queueDropsTheOldest_data();
    void queueDropsTheOldest();
};

void TestMqttUnits::url_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("refusal"); // the line's reason, empty where the URL is good

    QTest::newRow("plain") << "mqtt://broker.lab/bench" << false << "" << "broker.lab" << 1883 << "bench" << "";
    QTest::newRow("user, port, levels") << "mqtt://alice@10.0.0.5:1884/lab/bench3/" << false << "alice" << "10.0.0.5"
                                        << 1884 << "lab/bench3" << "";
    QTest::newRow("tls default port") << "mqtts://broker/lab" << true << "" << "broker" << 8883 << "lab" << "";
    QTest::newRow("ipv6") << "mqtt://[::1]:1000/x" << false << "" << "::1" << 1000 << "x" << "";
    QTest::newRow("no host") << "mqtt:///lab" << false << "" << "" << 0 << "" << "缺少主机";
    QTest::newRow("port 0") << "mqtt://h:0/lab" << false << "" << "" << 0 << "" << "端口须为 1 到 65535 的整数";
    QTest::newRow("port too big") << "mqtt://h:65536/lab" << false << "" << "" << 0 << ""
                                  << "端口须为 1 到 65535 的整数";
    QTest::newRow("port empty") << "mqtt://h:/lab" << false << "" << "" << 0 << "" << "端口须为 1 到 65535 的整数";
    QTest::newRow("no prefix") << "mqtt://h:1883" << false << "" << "" << 0 << "" << "缺少主题前缀";
    QTest::newRow("plus") << "mqtt://h/lab/+" << false << "" << "" << 0 << "" << "主题前缀不能含 + 或 #";
    QTest::newRow("hash") << "mqtt://h/lab/#" << false << "" << "" << 0 << "" << "主题前缀不能含 + 或 #";
    QTest::newRow("scheme") << "http://h/lab" << false << "" << "" << 0 << ""
                            << "未知的协议 http, 应为 mqtt 或 mqtts";
    QTest::newRow("password") << "mqtt://u:pw@h/lab" << false << "" << "" << 0 << ""
                              << "密码不能写在地址里, 请用 BENCH_MQTT_PASSWORD";
    QTest::newRow("not a url") << "broker.lab" << false << "" << "" << 0 << ""
                               << "应为 mqtt://[用户@]主机[:端口]/前缀 或 mqtts://…";
}

void TestMqttUnits::url()
{
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    QString why;
    const std::optional<MqttUrl> url = MqttUrl::parse(text, &why);
    if (!refusal.isEmpty()) {
        QVERIFY(!url);
        QCOMPARE(why, QStringLiteral("MQTT 地址无效: ") + refusal);
        return;
    }
    QVERIFY2(url, qPrintable(why));
    QTEST(url->tls, "tls");
    QTEST(url->user, "user");
    QTEST(url->host, "host");
    QTEST(url->port, "port");
    QTEST(url->prefix, "prefix");
    QCOMPARE(MqttUrl::parse(url->toString(), nullptr)->host, url->host);
}

void TestMqttUnits::batchJson()
{
    MqttTelemetryBatch batch;
    QVERIFY(batch.append(41, 1700000000000001, TestSupport::referenceReadings()));
    QVERIFY(batch.append(42, 1700000000000110, { 0.27 * 3, 0.45 * 109, -1, 0, 49.05 }));
    QCOMPARE(batch.toJson(), QByteArray(R"({"sample":41,"timestamp_us":[1700000000000001,1700000000000110],)"
                                        R"("1.8V power":[100,0.81],"3.3V power":[10,49.05],"5V power":[21.6,-1],)"
                                        R"("12V power":[-7.2,0],"all power":[127,49.05]})"));
    batch = {};
    QVERIFY(batch.isEmpty());
    QVERIFY(batch.append(7, 0, {}));
    QVERIFY(batch.toJson().startsWith(R"({"sample":7,)"));
}

void TestMqttUnits::batchTakesConsecutiveSamplesUpToItsSize()
{
    MqttTelemetryBatch batch;
    QVERIFY(batch.append(5, 0, {}));
    QVERIFY(!batch.append(7, 0, {}));
    QVERIFY(!batch.append(5, 0, {}));
    for (qint64 sample = 6; sample < 5 + MqttTelemetryBatch::maxSamples; ++sample)
        QVERIFY(batch.append(sample, 0, {}));
    QVERIFY(batch.isFull());
    QVERIFY(!batch.append(5 + MqttTelemetryBatch::maxSamples, 0, {}));
    QCOMPARE(batch.size(), MqttTelemetryBatch::maxSamples);
}

void TestMqttUnits::queueDropsTheOldest_data()
{
    QTest::addColumn<qint64>("limitMs");
    QTest::addColumn<int>("messages"); // each of 100 samples over 100 ms, back to back
    QTest::addColumn<int>("kept");

    QTest::newRow("within") << qint64(1000) << 10 << 10;
    QTest::newRow("a second of three") << qint64(1000) << 30 << 10;
    QTest::newRow("ten seconds") << MqttTelemetryQueue::defaultLimitMs << 150 << 100;
    QTest::newRow("the newest stays") << qint64(0) << 3 << 1;
}

void TestMqttUnits::queueDropsTheOldest()
{
    QFETCH(qint64, limitMs);
    QFETCH(int, messages);
    QFETCH(int, kept);
    MqttTelemetryQueue queue(limitMs);
    for (int i = 0; i < messages; ++i) {
        MqttTelemetryBatch batch;
        for (int n = 0; n < 100; ++n)
            batch.append(i * 100LL + n, i * 100000LL + n * 1000LL, {});
        queue.push(batch);
    }
    QCOMPARE(queue.size(), kept);
    QCOMPARE(queue.takeDroppedSamples(), (messages - kept) * 100LL);
    QCOMPARE(queue.takeDroppedSamples(), 0);
    QCOMPARE(queue.takeFirst().firstSample(), (messages - kept) * 100LL);
}

QTEST_MAIN(TestMqttUnits)
#include "tst_mqttunits.moc"
