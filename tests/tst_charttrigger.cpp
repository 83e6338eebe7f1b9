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
};

void TestChartTrigger::capturesTheEdge_data()
{
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("position");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<qint64>("triggerSample"); // -1: none

    QTest::newRow("rising") << Edge::Rising << 40.0 << 20 << Mode::Single << qint64(3);
    QTest::newRow("rising onto the level") << Edge::Rising << 50.0 << 20 << Mode::Single << qint64(3);
    QTest::newRow("falling onto the level") << Edge::Falling << 20.0 << 20 << Mode::Single << qint64(5);
    QTest::newRow("either, continuous") << Edge::Either << 40.0 << 20 << Mode::Continuous << qint64(3);
    QTest::newRow("starting on the level is no edge") << Edge::Rising << 10.0 << 20 << Mode::Single << qint64(-1);
    QTest::newRow("never crossed") << Edge::Either << 60.0 << 20 << Mode::Single << qint64(-1);
    QTest::newRow("at the left edge") << Edge::Rising << 40.0 << 0 << Mode::Single << qint64(3);
    QTest::newRow("at the right edge") << Edge::Rising << 40.0 << 100 << Mode::Single << qint64(3);
}

// A pulse on a curve, then nothing; the view is 10 samples wide, and the capture
// comes with the sample that fills it.
void TestChartTrigger::capturesTheEdge()
{
    QFETCH(Edge, edge);
    QFETCH(double, level);
    QFETCH(int, position);
    QFETCH(Mode, mode);
    QFETCH(qint64, triggerSample);

    const QList<double> pulse { 10, 10, 30, 50, 50, 20, 10 };
    ChartTrigger trigger;
    trigger.setSettings({ 2, level, edge, mode, position });
    trigger.arm(10);
    std::optional<ChartTrigger::Capture> capture;
    qint64 sample = 0;
    for (; sample < 100 && !capture; ++sample)
        capture = trigger.addSample(sample, onCurve(2, pulse.value(sample)));
    if (triggerSample < 0) {
        QVERIFY(!capture);
        QVERIFY(trigger.isWatching());
        return;
    }
    QVERIFY(capture);
    const qint64 viewLow = triggerSample - position / 10;
    QCOMPARE(sample - 1, std::max(triggerSample, viewLow + 9));
    QCOMPARE(capture->triggerSample, triggerSample);
    QCOMPARE(capture->edge, triggerSample == 5 ? Edge::Falling : Edge::Rising);
    QCOMPARE(capture->viewLow, viewLow);
    QCOMPARE(capture->viewSpan, 10);
    // A single trigger disarms; a continuous one waits to be armed again.
    QCOMPARE(trigger.isArmed(), mode == Mode::Continuous);
    QVERIFY(!trigger.isWatching());
}

QTEST_APPLESS_MAIN(TestChartTrigger)
#include "tst_charttrigger.moc"
