#include "core/charttrigger.h"

#include <QTest>

using Edge = ChartTrigger::Edge;
using Mode = ChartTrigger::Mode;

Q_DECLARE_METATYPE(ChartTrigger::Edge)
Q_DECLARE_METATYPE(ChartTrigger::Mode)

namespace {

Telemetry::Sample onCurve(int series, double value)
{
    Telemetry::Sample sample {};
    sample[size_t(series)] = value;
    return sample;
}

} // namespace

class TestChartTrigger : public QObject
{
    Q_OBJECT

private slots:
    void capturesTheEdge_data();
    void capturesTheEdge();
    void modeSaysWhatFollowsACapture_data();
    void modeSaysWhatFollowsACapture();
    void captureLineNamesItsEdge();
};

void TestChartTrigger::capturesTheEdge_data()
{
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<double>("level");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("position");
    QTest::addColumn<qint64>("triggerSample"); // -1: none
    QTest::addColumn<Edge>("occurred");

    const QList<double> pulse { 10, 10, 30, 50, 50, 20, 10 };
    QTest::newRow("rising") << Edge::Rising << 40.0 << pulse << 20 << qint64(3) << Edge::Rising;
    QTest::newRow("rising onto the level") << Edge::Rising << 50.0 << pulse << 20 << qint64(3) << Edge::Rising;
    QTest::newRow("falling") << Edge::Falling << 40.0 << pulse << 20 << qint64(5) << Edge::Falling;
    QTest::newRow("falling onto the level") << Edge::Falling << 20.0 << pulse << 20 << qint64(5) << Edge::Falling;
    QTest::newRow("either, rising first") << Edge::Either << 40.0 << pulse << 20 << qint64(3) << Edge::Rising;
    QTest::newRow("either, falling first") << Edge::Either << 40.0 << QList<double> { 50, 30, 50 } << 20 << qint64(1)
                                           << Edge::Falling;
    QTest::newRow("a level never crossed") << Edge::Either << 60.0 << pulse << 20 << qint64(-1) << Edge::Rising;
    QTest::newRow("starting on the level is no edge") << Edge::Rising << 10.0 << pulse << 20 << qint64(-1) << Edge::Rising;
    QTest::newRow("at the left edge") << Edge::Rising << 40.0 << pulse << 0 << qint64(3) << Edge::Rising;
    QTest::newRow("at the right edge") << Edge::Rising << 40.0 << pulse << 100 << qint64(3) << Edge::Rising;
}

// The view holds 100 samples; the capture comes with the sample that fills it.
void TestChartTrigger::capturesTheEdge()
{
    QFETCH(Edge, edge);
    QFETCH(double, level);
    QFETCH(QList<double>, values);
    QFETCH(int, position);
    QFETCH(qint64, triggerSample);
    QFETCH(Edge, occurred);

    constexpr qint64 span = 100;
    constexpr qint64 firstSample = 1000;
    ChartTrigger trigger;
    trigger.setSettings({ 2, level, edge, Mode::Single, position });
    trigger.arm(span);
    std::optional<ChartTrigger::Capture> capture;
    qint64 number = firstSample;
    for (qsizetype i = 0; i < values.size() && !capture; ++i)
        capture = trigger.addSample(number++, onCurve(2, values.at(i)));
    if (triggerSample < 0) {
        QVERIFY(!trigger.triggerSample());
        QVERIFY(trigger.isWatching());
        return;
    }
    if (!capture)
        QCOMPARE(trigger.triggerSample(), firstSample + triggerSample);
    const qint64 viewLow = firstSample + triggerSample - position;
    const qint64 lastInView = std::max(firstSample + triggerSample, viewLow + span - 1);
    while (!capture && number <= lastInView)
        capture = trigger.addSample(number++, onCurve(2, 0));
    QVERIFY(capture);
    QCOMPARE(number - 1, lastInView);
    QCOMPARE(capture->triggerSample, firstSample + triggerSample);
    QCOMPARE(capture->edge, occurred);
    QCOMPARE(capture->viewLow, viewLow);
    QCOMPARE(capture->viewSpan, span);
}

void TestChartTrigger::modeSaysWhatFollowsACapture_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("armedAfter");

    QTest::newRow("single disarms") << Mode::Single << false;
    QTest::newRow("continuous stays armed") << Mode::Continuous << true;
}

void TestChartTrigger::modeSaysWhatFollowsACapture()
{
    QFETCH(Mode, mode);
    QFETCH(bool, armedAfter);

    ChartTrigger trigger;
    trigger.setSettings({ 0, 5, Edge::Rising, mode, 100 });
    trigger.arm(10);
    QVERIFY(!trigger.addSample(0, onCurve(0, 0)));
    QVERIFY(trigger.addSample(1, onCurve(0, 10)));
    QCOMPARE(trigger.isArmed(), armedAfter);
    // Nothing more is caught until it is armed again.
    QVERIFY(!trigger.isWatching());
    QVERIFY(!trigger.addSample(2, onCurve(0, 0)));
    QVERIFY(!trigger.addSample(3, onCurve(0, 10)));
    trigger.arm(10);
    QVERIFY(!trigger.addSample(4, onCurve(0, 10)));
    QVERIFY(!trigger.addSample(5, onCurve(0, 0)));
    QCOMPARE(trigger.addSample(6, onCurve(0, 10))->triggerSample, 6);
}

void TestChartTrigger::captureLineNamesItsEdge()
{
    const ChartTrigger::Settings settings { 3, 40.5, Edge::Either, Mode::Single, 20 };
    QCOMPARE(ChartTrigger::captureLine(settings, { 12345, Edge::Falling, 0, 500 }),
             QStringLiteral("触发: 12V power 下降沿, 电平 40.5 (样本 12345)"));
}

QTEST_APPLESS_MAIN(TestChartTrigger)
#include "tst_charttrigger.moc"
