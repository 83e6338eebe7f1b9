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

QTEST_MAIN(TestMqttUnits)
#include "tst_mqttunits.moc"
