// The power chart's own view: pause, zoom, pan, resume, reset, autoscale and the
// readout, on a chart view of its own fed samples directly.

#include "coretestsupport.h"
#include "gui/chartcursors.h"
#include "gui/powerchart.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>
#include <memory>

using TestSupport::numberedSample;

namespace {

QPair<double, double> range(const QValueAxis *axis)
{
    return { axis->min(), axis->max() };
}

double span(const QValueAxis *axis)
{
    return axis->max() - axis->min();
}

bool wholeEnds(const QValueAxis *axis)
{
    return axis->min() == std::round(axis->min()) && axis->max() == std::round(axis->max());
}

} // namespace

class TestChartView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pauseHoldsTheViewWhileSamplesArrive();
    void zoomAndPanStayInTheHistory();
    void wheelZoomsAroundTheCursorAndDragPans();
    void zoomNeverGoesTheWrongWay();
    void pausedViewFollowsTheOldestSampleKept_data();
    void pausedViewFollowsTheOldestSampleKept();
    void readoutReadsOnlyWhatIsDrawn();
    void resetReturnsToTheLiveView();
    void autoscaleShowsNegativeReadings_data();
    void autoscaleShowsNegativeReadings();
    void readoutShowsTheSampleUnderTheMouse();
    void zoomedOutDrawsAFewPointsPerColumn();
    void cursorsReadTheSamplesBetween_data();
    void cursorsReadTheSamplesBetween();

private:
    void makeChart(qint64 historyCapacity);
    void add(qint64 count);
    // Adds samples, then pauses the view on them.
    void addThenPause(qint64 count);
    QPoint viewPosition(double x, double y) const;

    std::unique_ptr<QChartView> view;
    PowerChart *chart = nullptr;
    qint64 added = 0;
};

void TestChartView::init()
{
    makeChart(ChartHistory::defaultCapacity);
}

void TestChartView::makeChart(qint64 historyCapacity)
{
    view = std::make_unique<QChartView>();
    view->resize(800, 400);
    chart = new PowerChart(view.get(), historyCapacity, view.get());
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    added = 0;
}

void TestChartView::cleanup()
{
    view.reset();
}

void TestChartView::add(qint64 count)
{
    for (qint64 i = 0; i < count; ++i, ++added)
        chart->addSample(numberedSample(added));
}

void TestChartView::addThenPause(qint64 count)
{
    add(count);
    chart->setPaused(true);
}

QPoint TestChartView::viewPosition(double x, double y) const
{
    const QPointF inChart = view->chart()->mapToPosition(QPointF(x, y), chart->series(0));
    return view->mapFromScene(view->chart()->mapToScene(inChart));
}

void TestChartView::pauseHoldsTheViewWhileSamplesArrive()
{
    add(1000);
    QTRY_COMPARE(range(chart->axisX()), qMakePair(500.0, 1000.0));
    chart->setPaused(true);
    add(700);
    QTest::qWait(3 * PowerChart::refreshIntervalMs);
    QCOMPARE(range(chart->axisX()), qMakePair(500.0, 1000.0));
    QCOMPARE(chart->series(0)->count(), 500);
    QCOMPARE(chart->series(0)->at(0).x(), 500.0);
    QCOMPARE(chart->history().endSample(), 1700);

    chart->setPaused(false);
    QCOMPARE(range(chart->axisX()), qMakePair(1200.0, 1700.0));
    QCOMPARE(chart->series(4)->count(), 500);
    QCOMPARE(chart->series(4)->at(499), QPointF(1699, numberedSample(1699)[4]));
}

void TestChartView::zoomAndPanStayInTheHistory()
{
    addThenPause(1500);
    QCOMPARE(range(chart->axisX()), qMakePair(1000.0, 1500.0));
    chart->zoom(0.5, 1250);
    QCOMPARE(range(chart->axisX()), qMakePair(1125.0, 1375.0));
    QCOMPARE(chart->series(2)->count(), 251);
    chart->pan(-2000);
    QCOMPARE(range(chart->axisX()), qMakePair(0.0, 250.0));
    chart->pan(5000);
    QCOMPARE(range(chart->axisX()), qMakePair(1250.0, 1500.0));
    chart->zoom(100, 1400);
    QCOMPARE(range(chart->axisX()), qMakePair(0.0, 1500.0));
    chart->zoom(0.0001, 700);
    QCOMPARE(chart->axisX()->max() - chart->axisX()->min(), PowerChart::minimumSpan);
    // Ticks on round sample numbers, whatever the view spans.
    chart->zoom(1.4, 700);
    QCOMPARE(chart->axisX()->tickType(), QValueAxis::TicksDynamic);
    QCOMPARE(chart->axisX()->tickInterval(), 2.0);
    QCOMPARE(chart->axisX()->tickAnchor(), 0.0);
    // A live chart is not zoomed.
    chart->setPaused(false);
    chart->zoom(0.5, 1250);
    QCOMPARE(range(chart->axisX()), qMakePair(1000.0, 1500.0));
    QCOMPARE(chart->axisX()->tickType(), QValueAxis::TicksFixed);
}

void TestChartView::wheelZoomsAroundTheCursorAndDragPans()
{
    addThenPause(2000);
    const QPoint at = viewPosition(1600, 50);
    QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    // 0.8 of the span, with sample 1600 where it was: 20% into the view.
    QCOMPARE(chart->axisX()->max() - chart->axisX()->min(), 400.0);
    QVERIFY(qAbs(chart->axisX()->min() - (1600 - 0.2 * 400)) < 2);
    QVERIFY(wholeEnds(chart->axisX()));

    const double lowBefore = chart->axisX()->min();
    const QPoint from = viewPosition(1600, 50);
    const QPoint to = viewPosition(1700, 50);
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, to);
    // Dragging right shows older samples, by the distance the mouse went.
    QVERIFY(qAbs(chart->axisX()->min() - (lowBefore - 100)) < 2);
    QVERIFY(wholeEnds(chart->axisX()));
}

// On a history of a thousand samples, the view around its middle.
void TestChartView::zoomNeverGoesTheWrongWay()
{
    makeChart(1000);
    addThenPause(100);
    for (const double factor : { 1.25, 0.8, 0.8, 1e-9, 0.8, 1.25, 1e9, 1.25 }) {
        const double before = span(chart->axisX());
        chart->zoom(factor, chart->axisX()->min() + before / 2);
        QVERIFY(factor < 1 ? span(chart->axisX()) <= before : span(chart->axisX()) >= before);
        add(200);
    }
    QTRY_COMPARE(range(chart->axisX()), qMakePair(700.0, 1700.0));
}

void TestChartView::pausedViewFollowsTheOldestSampleKept_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("the whole history") << 1e9 << 2500.0 << 3500.0;
    QTest::newRow("zoomed in") << 0.1 << 2500.0 << 2550.0;
}

// On a history of a thousand samples.
void TestChartView::pausedViewFollowsTheOldestSampleKept()
{
    QFETCH(double, factor);
    QFETCH(double, low);
    QFETCH(double, high);
    makeChart(1000);
    addThenPause(1500);
    chart->zoom(factor, 1250);
    const QPoint middle = view->mapFromScene(view->chart()->mapToScene(view->chart()->plotArea().center()));
    QMouseEvent move(QEvent::MouseMove, middle, view->mapToGlobal(middle), Qt::NoButton, {}, {});
    QApplication::sendEvent(view->viewport(), &move);
    QVERIFY(!chart->readoutText().isEmpty());
    add(1000);
    QTRY_COMPARE(range(chart->axisX()), qMakePair(low - 1000, high - 1000));
    add(1000);
    // Read before the view has had a turn of the event loop to move.
    const QString readout = chart->readoutAt(middle);
    QCOMPARE(range(chart->axisX()), qMakePair(low, high));
    QVERIFY(chart->series(0)->count() > 0 && !readout.isEmpty());
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        for (const QPointF &point : chart->series(i)->points()) {
            QVERIFY(point.x() >= low && point.x() <= high);
            QCOMPARE(point.y(), chart->history().sample(qint64(point.x()))->at(i));
        }
    }
    QTRY_COMPARE(chart->readoutText(), readout);
}

// A paused view does not take the samples that come after it; the readout does not either.
void TestChartView::readoutReadsOnlyWhatIsDrawn()
{
    addThenPause(100);
    add(50);
    QVERIFY(!chart->readoutAt(viewPosition(99, 50)).isEmpty());
    QCOMPARE(chart->readoutAt(viewPosition(120, 50)), QString());
    chart->setPaused(false);
    QVERIFY(!chart->readoutAt(viewPosition(120, 50)).isEmpty());
}

void TestChartView::resetReturnsToTheLiveView()
{
    addThenPause(800);
    chart->zoom(0.1, 400);
    chart->resetView();
    QVERIFY(!chart->isPaused());
    QCOMPARE(range(chart->axisX()), qMakePair(300.0, 800.0));
    QCOMPARE(range(chart->axisY()), qMakePair(PowerChart::liveYLow, PowerChart::liveYHigh));
    add(10);
    QTRY_COMPARE(range(chart->axisX()), qMakePair(310.0, 810.0));
}

void TestChartView::autoscaleShowsNegativeReadings_data()
{
    QTest::addColumn<bool>("paused");
    QTest::newRow("live") << false;
    QTest::newRow("paused") << true;
}

void TestChartView::autoscaleShowsNegativeReadings()
{
    QFETCH(bool, paused);
    add(600);
    chart->setPaused(paused);
    chart->setAutoscaleY(true);
    // Samples 100 to 599: curve 2 reaches -50, curve 1 and 3 reach 127.
    QTRY_VERIFY(chart->axisY()->min() < -50);
    QVERIFY(chart->axisY()->min() > -60);
    QVERIFY(chart->axisY()->max() > 127 && chart->axisY()->max() < 137);
    QVERIFY(wholeEnds(chart->axisY()));
    chart->setAutoscaleY(false);
    QCOMPARE(range(chart->axisY()), qMakePair(PowerChart::liveYLow, PowerChart::liveYHigh));
}

void TestChartView::readoutShowsTheSampleUnderTheMouse()
{
    addThenPause(1000);
    chart->zoom(0.1, 765);
    QTest::mouseMove(view->viewport(), viewPosition(765, 60));
    const QString expected = QStringLiteral("样本 765\n1.8V power: 125\n3.3V power: 119\n5V power: 15\n"
                                            "12V power: 107\nall power: 2");
    QCOMPARE(chart->readoutAt(viewPosition(765, 60)), expected);
    QTRY_COMPARE(chart->readoutText(), expected);
    QCOMPARE(chart->readoutAt(QPoint(-5, -5)), QString());
}

void TestChartView::zoomedOutDrawsAFewPointsPerColumn()
{
    addThenPause(ChartHistory::defaultCapacity + 5000);
    chart->zoom(1e9, 0);
    QCOMPARE(range(chart->axisX()), qMakePair(5000.0, double(ChartHistory::defaultCapacity + 5000)));
    const int columns = int(view->chart()->plotArea().width());
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        QVERIFY(chart->series(i)->count() <= 2 * std::max(columns, 100));
        QVERIFY(chart->series(i)->count() >= columns);
    }
}

void TestChartView::cursorsReadTheSamplesBetween_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("B by a right click") << Qt::RightButton << Qt::KeyboardModifiers();
    QTest::newRow("B by a shift+click") << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

// Samples 1000 to 1500 in view; A at 1100 then dragged to 1150, B at 1300. What
// the readout says between them is checked against a board's frames in the window.
void TestChartView::cursorsReadTheSamplesBetween()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    ChartCursors cursors(chart, view.get());
    addThenPause(1500);
    const ChartHistory &history = chart->history();
    cursors.setTimeOrigin(*history.arrivalUs(0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, viewPosition(1100, 70));
    QCOMPARE(cursors.position(ChartCursors::A), 1100);
    QTest::mouseClick(view->viewport(), button, modifiers, viewPosition(1300, 70));
    QCOMPARE(cursors.position(ChartCursors::B), 1300);
    QCOMPARE(cursors.position(ChartCursors::A), 1100);
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, viewPosition(1100, 30));
    QTest::mouseMove(view->viewport(), viewPosition(1150, 30));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, viewPosition(1150, 30));
    QCOMPARE(cursors.position(ChartCursors::A), 1150);
    QCOMPARE(range(chart->axisX()), qMakePair(1000.0, 1500.0));

    const QString readout = cursors.readoutText();
    const auto seconds = [&history](qint64 number) {
        return QString::number(double(*history.arrivalUs(number) - *history.arrivalUs(0)) / 1e6, 'f', 6);
    };
    QVERIFY2(readout.startsWith(QStringLiteral("光标A: 样本 1150, %1 s  1.8V %2  3.3V %3")
                                    .arg(seconds(1150))
                                    .arg(numberedSample(1150)[0])
                                    .arg(numberedSample(1150)[1])),
             qPrintable(readout));
    QVERIFY2(readout.contains(QStringLiteral("光标B: 样本 1300, %1 s").arg(seconds(1300))), qPrintable(readout));
    const double spanS = double(*history.arrivalUs(1300) - *history.arrivalUs(1150)) / 1e6;
    QVERIFY2(readout.contains(QStringLiteral("A→B: 151 个样本, %1 s").arg(spanS, 0, 'f', 6)), qPrintable(readout));
    chart->setPaused(false);
    QVERIFY(!cursors.position(ChartCursors::A) && !cursors.position(ChartCursors::B));
    QCOMPARE(cursors.readoutText(), QString());
    // Without cursors the range is what is drawn: the live window.
    QCOMPARE(cursors.rangeRows(), 500);
}

QTEST_MAIN(TestChartView)
#include "tst_chartview.moc"
