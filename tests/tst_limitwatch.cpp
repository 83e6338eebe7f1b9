#include "core/limitwatch.h"
#include "coretestsupport.h"

#include <QTest>

namespace {

constexpr int twelveVolt = 3;
constexpr qint64 frameMs = 20;

// The 12V curve reads these, one sample every frameMs; the other curves read 0.
QList<LimitEvent> run(LimitWatch &watch, const QList<double> &values)
{
    QList<LimitEvent> events;
    for (qsizetype n = 0; n < values.size(); ++n) {
        Telemetry::Sample sample {};
        sample[twelveVolt] = values[n];
        events += watch.add(n, n * frameMs, sample);
    }
    return events;
}

QStringList kindsAndSamples(const QList<LimitEvent> &events)
{
    static const char *const kinds[] = { "Out", "Back", "Chatter", "Protection" };
    QStringList found;
    for (const LimitEvent &event : events)
        found << QStringLiteral("%1@%2").arg(QLatin1String(kinds[event.kind])).arg(event.sampleNumber);
    return found;
}

LimitWatch watchOn12V(std::optional<double> low, std::optional<double> high)
{
    CurveLimits::Set limits {};
    limits[twelveVolt] = { low, high };
    LimitWatch watch;
    watch.setLimits(limits);
    return watch;
}

} // namespace

class TestLimitWatch : public QObject
{
    Q_OBJECT

private slots:
    void events_data();
    void events();
    void lines();
    void countedExcursionsAreToldWhenSamplesStop();
};

void TestLimitWatch::events_data()
{
    QTest::addColumn<std::optional<double>>("low");
    QTest::addColumn<std::optional<double>>("high");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("expected");

    const std::optional<double> none;
    QTest::newRow("above its high, then back") << none << std::optional(50.0) << false
                                               << QList<double> { 40, 52.65, 55, 51, 45 }
                                               << QStringList { "Out@1", "Back@4" };
    QTest::newRow("below its low, then back") << std::optional(5.0) << none << false << QList<double> { 6, 4, 3, 6 }
                                              << QStringList { "Out@1", "Back@3" };
    QTest::newRow("on the limits is within") << std::optional(5.0) << std::optional(50.0) << true
                                             << QList<double> { 5, 50, 50, 50, 5 } << QStringList {};
    QList<double> chattering;
    for (int n = 0; n < 76; ++n)
        chattering << (n % 2 ? 51 : 49);
    // Told once out and back; the next second's 25 crossings in one line.
    QTest::newRow("chattering") << none << std::optional(50.0) << false << chattering
                                << QStringList { "Out@1", "Back@2", "Chatter@52" };
    QTest::newRow("protection on the third reading out, once")
        << none << std::optional(50.0) << true << QList<double> { 40, 51, 52, 53, 54, 55, 56, 40 }
        << QStringList { "Out@1", "Protection@3", "Back@7" };
    QTest::newRow("two readings out do not trip it")
        << none << std::optional(50.0) << true << QList<double> { 51, 52, 40, 51, 52, 40 }
        << QStringList { "Out@0", "Back@2" };
    QTest::newRow("unarmed, no protection") << none << std::optional(50.0) << false << QList<double> { 51, 52, 53, 54 }
                                            << QStringList { "Out@0" };
}

void TestLimitWatch::events()
{
    QFETCH(std::optional<double>, low);
    QFETCH(std::optional<double>, high);
    QFETCH(bool, armed);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, expected);

    LimitWatch watch = watchOn12V(low, high);
    watch.setProtectionArmed(armed);
    const QList<LimitEvent> events = run(watch, values);
    QCOMPARE(kindsAndSamples(events), expected);
    for (const LimitEvent &event : events)
        QCOMPARE(event.series, twelveVolt);
    // Once tripped it stays off until armed again.
    QCOMPARE(watch.isProtectionArmed(), armed && expected.filter(QStringLiteral("Protection")).isEmpty());
}

void TestLimitWatch::lines()
{
    LimitWatch watch = watchOn12V(5.0, 50.0);
    watch.setProtectionArmed(true);
    const Telemetry::Sample out = *Telemetry::decodeFrame(TestSupport::telemetryFrame(0, 0, 0, 117, 0));
    Telemetry::Sample back = out;
    back[twelveVolt] = 45;
    Telemetry::Sample below = out;
    below[twelveVolt] = 4.5;

    QCOMPARE(watch.add(12345, 0, out).value(0).line, QStringLiteral("超出限值: 12V power = 52.65 (上限 50, 样本 12345)"));
    watch.add(12346, 20, out);
    QCOMPARE(watch.add(12347, 40, out).value(0).line,
             QStringLiteral("越限保护: 12V power = 52.65 (上限 50, 样本 12347), 连续 3 个样本, 关闭GPU电源"));
    QCOMPARE(watch.add(12348, 1500, back).value(0).line,
             QStringLiteral("回到限值内: 12V power = 45 (样本 12348, 超出 3 个样本 1.500 秒, 最差值 52.65)"));
    QCOMPARE(watch.add(12349, 3000, below).value(0).line, QStringLiteral("超出限值: 12V power = 4.5 (下限 5, 样本 12349)"));
    QCOMPARE(watch.add(12350, 3020, back).size(), 1);
    watch.add(12351, 3040, below);
    watch.add(12352, 3060, back);
    QCOMPARE(watch.add(12353, 4100, below).value(0).line,
             QStringLiteral("反复越限: 12V power 在 1.080 秒内超出限值 2 次 (最差值 4.5, 样本 12351 至 12353), 仍在限值外"));
}

void TestLimitWatch::countedExcursionsAreToldWhenSamplesStop()
{
    LimitWatch watch = watchOn12V(std::nullopt, 50.0);
    QCOMPARE(run(watch, { 51, 40, 51, 40 }).size(), 2);
    QVERIFY(watch.hasCountedExcursions());
    QVERIFY(watch.flush(999).isEmpty());
    QCOMPARE(kindsAndSamples(watch.flush(1020)), QStringList { "Chatter@3" });
    QVERIFY(!watch.hasCountedExcursions());
    QVERIFY(watch.flush(5000).isEmpty());
}

QTEST_GUILESS_MAIN(TestLimitWatch)
#include "tst_limitwatch.moc"
