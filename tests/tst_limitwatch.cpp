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
    void linesBelowAndStillOutside();
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

// The window's tests read the lines above a limit; these are the other forms.
void TestLimitWatch::linesBelowAndStillOutside()
{
    LimitWatch watch = watchOn12V(5.0, 50.0);
    const QList<LimitEvent> events = run(watch, { 6, 4.5, 6, 4, 6, 3 });
    QCOMPARE(events.value(0).line, QStringLiteral("超出限值: 12V power = 4.5 (下限 5, 样本 1)"));
    QVERIFY(watch.flush(1039).isEmpty());
    QCOMPARE(watch.flush(1040).value(0).line,
             QStringLiteral("反复越限: 12V power 在 1.000 秒内超出限值 2 次 (最差值 3, 样本 3 至 5), 仍在限值外"));
}

QTEST_GUILESS_MAIN(TestLimitWatch)
#include "tst_limitwatch.moc"
