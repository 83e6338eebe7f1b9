#include "core/charthistory.h"
#include "core/rangecsv.h"
#include "core/telemetrycsv.h"
#include "coretestsupport.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

#include <algorithm>

using TestSupport::numberedSample;

class TestChartHistory : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheNewestSamples_data();
    void keepsTheNewestSamples();
    void aJumpInTheCountStartsAnew();
    void zoomedOutKeepsEverySpike();
    void valueRangeCoversEveryCurve();
    void statistics_data();
    void statistics();
    void rangeCsvCopiesWhileTheLoopRuns();
};

void TestChartHistory::keepsTheNewestSamples_data()
{
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<qint64>("added");
    QTest::addColumn<qint64>("first");

    QTest::newRow("not yet full") << qint64(1000) << qint64(10) << qint64(0);
    QTest::newRow("full") << qint64(1000) << qint64(1000) << qint64(0);
    QTest::newRow("wrapped") << qint64(1000) << qint64(2500) << qint64(1500);
}

void TestChartHistory::keepsTheNewestSamples()
{
    QFETCH(qint64, capacity);
    QFETCH(qint64, added);
    QFETCH(qint64, first);

    ChartHistory history(capacity);
    for (qint64 n = 0; n < added; ++n)
        history.add(n, numberedSample(n), 111 * n);
    QCOMPARE(history.firstSample(), first);
    QVERIFY(!history.arrivalUs(first - 1));
    QCOMPARE(history.arrivalUs(added - 1), 111 * (added - 1));
    QCOMPARE(history.arrivalUs(first), 111 * first);
    QCOMPARE(history.endSample(), added);
    QVERIFY(!history.sample(first - 1));
    QVERIFY(!history.sample(added));
    for (const qint64 n : { first, (first + added) / 2, added - 1 })
        QCOMPARE(*history.sample(n), numberedSample(n));
    const QList<QPointF> points = history.points(2, first - 10, added + 10, 10000);
    QCOMPARE(points.size(), added - first);
    QCOMPARE(points.first(), QPointF(first, numberedSample(first)[2]));
    QCOMPARE(points.last(), QPointF(added - 1, numberedSample(added - 1)[2]));
}

void TestChartHistory::aJumpInTheCountStartsAnew()
{
    ChartHistory history(100);
    for (qint64 n = 0; n < 50; ++n)
        history.add(n, numberedSample(n));
    history.add(700, numberedSample(700));
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.firstSample(), 700);
    QCOMPARE(*history.sample(700), numberedSample(700));
}

void TestChartHistory::zoomedOutKeepsEverySpike()
{
    ChartHistory history;
    const qint64 spikeAt = 654321;
    // Wrapped, with the newest samples part way into a block.
    const qint64 added = ChartHistory::defaultCapacity + 777;
    for (qint64 n = 0; n < added; ++n) {
        Telemetry::Sample sample = numberedSample(n);
        if (n == spikeAt)
            sample[1] = 1000;
        if (n == spikeAt + 1)
            sample[1] = -1000;
        history.add(n, sample);
    }
    const int columns = 800;
    const QList<QPointF> points = history.points(1, 0, added, columns);
    QVERIFY(points.size() <= 2 * columns);
    QVERIFY(points.first().x() >= 777);
    // Every column's lowest and highest sample: 0 and 127 in every column here.
    for (const QPointF &point : points) {
        if (point.x() != spikeAt && point.x() != spikeAt + 1)
            QVERIFY2(point.y() == 0 || point.y() == 127, qPrintable(QString::number(point.x())));
        QCOMPARE(point.y(), history.sample(qint64(point.x()))->at(1));
    }
    QVERIFY(std::is_sorted(points.cbegin(), points.cend(),
                           [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
    QVERIFY(points.contains(QPointF(spikeAt, 1000)));
    QVERIFY(points.contains(QPointF(spikeAt + 1, -1000)));
}

void TestChartHistory::valueRangeCoversEveryCurve()
{
    ChartHistory history;
    for (qint64 n = 0; n < 300; ++n)
        history.add(n, numberedSample(n));
    // Samples 10 to 20: curve 2 runs from -40 to -30, curve 3 up to 7 * 18 = 126.
    const auto range = history.valueRange(10, 20);
    QVERIFY(range);
    QCOMPARE(range->first, -40.0);
    QCOMPARE(range->second, 126.0);
    QVERIFY(!history.valueRange(400, 500));
}

void TestChartHistory::statistics_data()
{
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<qint64>("added");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");

    QTest::newRow("one sample") << qint64(1000) << qint64(300) << qint64(5) << qint64(6);
    QTest::newRow("across blocks") << qint64(1000) << qint64(900) << qint64(3) << qint64(700);
    QTest::newRow("across the ring's end") << qint64(1000) << qint64(2500) << qint64(1900) << qint64(2300);
    QTest::newRow("partly gone") << qint64(1000) << qint64(2500) << qint64(0) << qint64(1600);
    QTest::newRow("past the newest") << qint64(1000) << qint64(300) << qint64(250) << qint64(900);
    QTest::newRow("all gone") << qint64(1000) << qint64(2500) << qint64(0) << qint64(1500);
}

void TestChartHistory::statistics()
{
    QFETCH(qint64, capacity);
    QFETCH(qint64, added);
    QFETCH(qint64, from);
    QFETCH(qint64, to);

    ChartHistory history(capacity);
    for (qint64 n = 0; n < added; ++n)
        history.add(n, numberedSample(n));
    const qint64 first = std::max(from, added - capacity);
    const qint64 end = std::min(to, added);
    const std::optional<ChartHistory::Statistics> statistics = history.statistics(from, to);
    QCOMPARE(statistics.has_value(), first < end);
    if (!statistics)
        return;
    QCOMPARE(statistics->count, end - first);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        double low = numberedSample(first)[series], high = low, sum = 0;
        for (qint64 n = first; n < end; ++n) {
            const double value = numberedSample(n)[series];
            low = std::min(low, value);
            high = std::max(high, value);
            sum += value;
        }
        QCOMPARE(statistics->minimum[series], low);
        QCOMPARE(statistics->maximum[series], high);
        QCOMPARE(statistics->mean[series], sum / double(end - first));
    }
}

// A copied range is formatted a slice a turn, so the event loop (and the port)
// runs meanwhile; it reads across the end of the history's rings, and samples that
// leave the history before their row is written are copied all the same.
void TestChartHistory::rangeCsvCopiesWhileTheLoopRuns()
{
    constexpr qint64 kept = 100000;
    constexpr qint64 first = 60000;
    constexpr qint64 rows = 60000;
    ChartHistory history(kept);
    qint64 added = 0;
    const auto addSamples = [&history, &added](qint64 count) {
        for (const qint64 end = added + count; added < end; ++added)
            history.add(added, numberedSample(added), 1700000000000000 + 1000 * added);
    };
    addSamples(kept + 30000);
    RangeCsv copy;
    QSignalSpy finished(&copy, &RangeCsv::finished);
    copy.start(history, first, rows);
    QVERIFY(copy.isRunning());
    addSamples(2 * kept);
    QVERIFY(history.firstSample() > first + rows);
    int turns = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&turns] { ++turns; });
    tick.start(0);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY2(turns > 1, qPrintable(QString::number(turns)));

    QCOMPARE(finished.first().at(1).toLongLong(), rows);
    const QByteArray csv = finished.first().at(0).toByteArray();
    QCOMPARE(csv.count('\n'), 1 + rows);
    QVERIFY(csv.startsWith(TelemetryCsv::header()));
    for (const qint64 n : { first, kept - 1, kept, first + rows - 1 }) {
        const QByteArray row = TelemetryCsv::row(QDateTime::fromMSecsSinceEpoch((1700000000000000 + 1000 * n) / 1000),
                                                 1000 * (n - first), n, numberedSample(n));
        QVERIFY2(csv.contains('\n' + row), row.constData());
    }
}

QTEST_GUILESS_MAIN(TestChartHistory)
#include "tst_charthistory.moc"
