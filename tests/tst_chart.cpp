#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "core/powerchartdata.h"
#include "core/telemetry.h"

#include <QLineSeries>
#include <QValueAxis>
#include <QChart>
#include <QChartView>
#include <QDebug>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLegend>
#include <QLegendMarker>
#include <QSerialPort>
#include <QTest>

#include <algorithm>
#include <memory>

// Built twice: on the offscreen platform, where the chart must not ask for OpenGL,
// and under a virtual X display, where it must. The chart's point lists live as
// long as the process and are never reset, so the functions below run in order
// and each one goes on from the count that the one before it left.
class TestChart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void openGLFollowsThePlatform();
    void chartSetup();
    void series_data();
    void series();
    void axes_data();
    void axes();

    void firstFrame();
    void frameReadings_data();
    void frameReadings();
    void rollingWindow_data();
    void rollingWindow();
    void reopeningThePortContinuesTheCount();
    void curvesAreDrawnInTheirColours();

private:
    bool sendFrame(const QByteArray &frame);

    std::unique_ptr<TestSupport::DebugMessages> debugCapture;
    std::unique_ptr<TestSupport::PtyConsole> console;
    int replacements = 0;
};

using Readings = Telemetry::Sample;
using TestSupport::numberedReadings;
using TestSupport::referenceFrame;

Q_DECLARE_METATYPE(Readings)

void TestChart::initTestCase()
{
    debugCapture = std::make_unique<TestSupport::DebugMessages>();
    console = std::make_unique<TestSupport::PtyConsole>();
    QVERIFY(console->board().isValid());
    QVERIFY(serialPortInst->isOpen());
    // Shown, so that every frame is really drawn, through OpenGL where it is on.
    console->window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&console->window()));
    connect(chartLineSeries[Telemetry::seriesCount - 1], &QXYSeries::pointsReplaced, this,
            [this] { ++replacements; });
}

void TestChart::cleanupTestCase()
{
    console.reset();
    debugCapture.reset();
}

bool TestChart::sendFrame(const QByteArray &bytes)
{
    const int before = replacements;
    if (!console->board().writeMaster(bytes))
        return false;
    return TestSupport::processEventsUntil([&] { return replacements > before; });
}

void TestChart::openGLFollowsThePlatform()
{
    // Only an X display draws through OpenGL; the headless platforms cannot.
    const QString platform = QGuiApplication::platformName();
    if (!QStringList({ "offscreen", "minimal", "xcb" }).contains(platform))
        QSKIP(qPrintable(QStringLiteral("no expectation for the %1 platform").arg(platform)));
    for (const QLineSeries *series : chartLineSeries)
        QCOMPARE(series->useOpenGL(), platform == QLatin1String("xcb"));
}

void TestChart::chartSetup()
{
    const auto *view = TestSupport::widget<QChartView>(console->window(), "power_moniter");
    QVERIFY(view);
    const QChart *chart = view->chart();
    QCOMPARE(chart->theme(), QChart::ChartThemeDark);
    QCOMPARE(chart->margins(), QMargins(0, 0, 0, 0));
    QVERIFY(view->renderHints().testFlag(QPainter::Antialiasing));

    QCOMPARE(chart->series(), QList<QAbstractSeries *>(std::cbegin(chartLineSeries), std::cend(chartLineSeries)));

    QStringList legendLabels;
    for (const QLegendMarker *marker : chart->legend()->markers())
        legendLabels.append(marker->label());
    QCOMPARE(legendLabels, QStringList({ "1.8V power", "3.3V power", "5V power", "12V power", "all power" }));
    QVERIFY(chart->legend()->isVisible());
}

void TestChart::series_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("1.8V") << 0 << "1.8V power" << QColor(Qt::green);
    QTest::newRow("3.3V") << 1 << "3.3V power" << QColor(Qt::red);
    QTest::newRow("5V") << 2 << "5V power" << QColor(Qt::blue);
    QTest::newRow("12V") << 3 << "12V power" << QColor(Qt::yellow);
    QTest::newRow("all") << 4 << "all power" << QColor(Qt::white);
}

void TestChart::series()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QColor, colour);

    QLineSeries *series = chartLineSeries[index];
    QCOMPARE(series->type(), QAbstractSeries::SeriesTypeLine);
    QCOMPARE(series->name(), name);
    QCOMPARE(series->pen().color(), colour);
    QCOMPARE(series->pen().width(), 2);
    QCOMPARE(series->pen().style(), Qt::SolidLine);
    QCOMPARE(series->attachedAxes(), QList<QAbstractAxis *>({ chartAxisX, chartAxisY }));
}

void TestChart::axes_data()
{
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("tickCount");

    QTest::newRow("X") << Qt::Horizontal << int(Qt::AlignBottom) << 0.0 << 500.0 << 11;
    QTest::newRow("Y") << Qt::Vertical << int(Qt::AlignLeft) << 0.0 << 140.0 << 8;
}

void TestChart::axes()
{
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, alignment);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(int, tickCount);

    const QChart *chart = TestSupport::widget<QChartView>(console->window(), "power_moniter")->chart();
    const QList<QAbstractAxis *> axes = chart->axes(orientation);
    QCOMPARE(axes.size(), qsizetype(1));
    const auto *axis = qobject_cast<const QValueAxis *>(axes.first());
    QVERIFY(axis);
    QCOMPARE(axis, orientation == Qt::Horizontal ? chartAxisX : chartAxisY);
    QCOMPARE(int(axis->alignment()), alignment);
    QCOMPARE(axis->min(), min);
    QCOMPARE(axis->max(), max);
    QCOMPARE(axis->tickCount(), tickCount);
}

void TestChart::firstFrame()
{
    for (const QLineSeries *series : chartLineSeries)
        QCOMPARE(series->count(), 0);
    const qsizetype messagesBefore = TestSupport::DebugMessages::messages().size();

    QVERIFY(sendFrame(referenceFrame()));

    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        QCOMPARE(chartLineSeries[i]->count(), 1);
        QCOMPARE(chartLineSeries[i]->at(0).x(), 0.0);
        QCOMPARE(chartLineSeries[i]->at(0).y(), TestSupport::referenceReadings()[i]);
    }
    QCOMPARE(chartAxisX->min(), 0.0);
    QCOMPARE(chartAxisX->max(), 500.0);
    QCOMPARE(TestSupport::DebugMessages::messages().mid(messagesBefore), QStringList { TestSupport::debugText(referenceFrame()) });
    QCOMPARE(console->newLogLines(), QStringList());
}

void TestChart::frameReadings_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<Readings>("readings"); // of the last frame in the chunk
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("text");

    QTest::newRow("0x80 below the visible range")
        << TestSupport::telemetryFrame(1, 2, 3, 4, 0x80) << Readings { 1, 2, 3 * 0.27, 4 * 0.45, -128 } << 1 << QString();
    QTest::newRow("0xFF is minus one")
        << TestSupport::telemetryFrame(0xFF, 0xFF, 0xFF, 0xFF, 0xFF) << Readings { -1, -1, -0.27, -0.45, -1 } << 1 << QString();
    QTest::newRow("12-byte chunk: a frame, then text") << referenceFrame() + "AB"
                                                      << TestSupport::referenceReadings() << 1 << "AB";
    QTest::newRow("20-byte chunk: two frames") << TestSupport::telemetryFrame(5, 6, 7, 8, 9) + referenceFrame()
                                               << TestSupport::referenceReadings() << 2 << QString();
}

// Each frame in a chunk adds one point to each curve; what follows a frame is
// the next frame or board text.
void TestChart::frameReadings()
{
    QFETCH(QByteArray, chunk);
    QFETCH(Readings, readings);
    QFETCH(int, frames);
    QFETCH(QString, text);

    const qint64 x = TestSupport::framesPlotted();
    const qsizetype messagesBefore = TestSupport::DebugMessages::messages().size();
    const QString lastLineBefore = TestSupport::logParagraphs(console->window()).last();
    QVERIFY(sendFrame(chunk));
    // Every frame the console took is in the debug output checked below, so once
    // they are all plotted no point can follow.
    QTRY_COMPARE(TestSupport::framesPlotted(), x + frames);

    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        const QLineSeries *series = chartLineSeries[i];
        const QPointF last = series->at(series->count() - 1);
        QCOMPARE(last.x(), double(x + frames - 1));
        QCOMPARE(last.y(), readings[i]);
    }
    QCOMPARE(TestSupport::framesPlotted(), x + frames);
    QStringList frameMessages;
    for (int i = 0; i < frames; ++i)
        frameMessages.append(TestSupport::debugText(chunk.mid(i * Telemetry::frameLength, Telemetry::frameLength)));
    QCOMPARE(TestSupport::DebugMessages::messages().mid(messagesBefore), frameMessages);
    QCOMPARE(console->newLogLines(), QStringList());
    QCOMPARE(TestSupport::logParagraphs(console->window()).last(), lastLineBefore + text);
}

void TestChart::rollingWindow_data()
{
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<double>("firstX");
    QTest::addColumn<double>("rangeLow");
    QTest::addColumn<double>("rangeHigh");
    QTest::addColumn<bool>("oneWrite");

    QTest::newRow("after 500 frames") << qint64(500) << 0.0 << 0.0 << 500.0 << false;
    QTest::newRow("after 501 frames") << qint64(501) << 1.0 << 1.0 << 501.0 << false;
    QTest::newRow("after 1000 frames") << qint64(1000) << 500.0 << 500.0 << 1000.0 << false;
    QTest::newRow("after 1400 frames, the last 400 in one write")
        << qint64(1400) << 900.0 << 900.0 << 1400.0 << true;
}

void TestChart::rollingWindow()
{
    QFETCH(qint64, frames);
    QFETCH(double, firstX);
    QFETCH(double, rangeLow);
    QFETCH(double, rangeHigh);
    QFETCH(bool, oneWrite);

    const qint64 firstSent = TestSupport::framesPlotted();
    QVERIFY(firstSent < frames);
    if (oneWrite) {
        QByteArray burst;
        for (qint64 number = firstSent; number < frames; ++number)
            burst += TestSupport::numberedFrame(number);
        const int redrawsBefore = replacements;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(console->board().writeMaster(burst));
        QVERIFY(TestSupport::processEventsUntil([&] { return TestSupport::framesPlotted() == frames; }));
        // Redraws come at least a display frame apart, however many frames a read holds.
        const int redraws = replacements - redrawsBefore;
        QVERIFY2(redraws <= 1 + clock.elapsed() / 16,
                 qPrintable(QStringLiteral("%1 redraws in %2 ms").arg(redraws).arg(clock.elapsed())));
    } else {
        for (qint64 number = firstSent; number < frames; ++number)
            QVERIFY2(sendFrame(TestSupport::numberedFrame(number)), qPrintable(QString::number(number)));
    }

    const double lastX = double(frames - 1);
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        const QList<QPointF> points = chartLineSeries[i]->points();
        QCOMPARE(points.size(), qsizetype(lastX - firstX + 1));
        QCOMPARE(points.first().x(), firstX);
        QCOMPARE(points.last().x(), lastX);
        for (qsizetype p = 1; p < points.size(); ++p)
            QCOMPARE(points.at(p).x(), points.at(p - 1).x() + 1);
        for (const QPointF &point : points) {
            if (qint64(point.x()) >= firstSent)
                QCOMPARE(point.y(), numberedReadings(qint64(point.x()))[i]);
        }
    }
    QCOMPARE(QList<double>({ chartAxisX->min(), chartAxisX->max(), chartAxisY->min(), chartAxisY->max() }),
             QList<double>({ rangeLow, rangeHigh, 0.0, 140.0 }));
    QCOMPARE(chartAxisX->tickCount(), 11);
    QCOMPARE(chartAxisY->tickCount(), 8);
}

void TestChart::reopeningThePortContinuesTheCount()
{
    const qint64 x = TestSupport::framesPlotted();
    QVERIFY(x > 0);

    TestSupport::click(console->window(), "pushButton_portClose");
    QVERIFY(!serialPortInst->isOpen());
    TestSupport::click(console->window(), "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());
    QCOMPARE(console->newLogLines(), QStringList({ "关闭串口", "串口打开成功" }));

    QVERIFY(sendFrame(TestSupport::numberedFrame(x)));
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        const QLineSeries *series = chartLineSeries[i];
        QCOMPARE(series->count(), x + 1 >= PowerChartData::maxPoints ? PowerChartData::maxPoints : int(x + 1));
        QCOMPARE(series->at(series->count() - 1), QPointF(double(x), numberedReadings(x)[i]));
    }
    const double high = std::max<double>(double(x + 1), PowerChartData::maxPoints);
    QCOMPARE(chartAxisX->max(), high);
    QCOMPARE(chartAxisX->min(), high - PowerChartData::maxPoints);
}

// The curve of the first series is green on the dark plot area: the pen survives
// the theme, and the drawing path in use (OpenGL or not) really puts it on screen.
void TestChart::curvesAreDrawnInTheirColours()
{
    auto *view = TestSupport::widget<QChartView>(console->window(), "power_moniter");
    QVERIFY(chartLineSeries[0]->count() > 1);

    int green = 0;
    int other = 0;
    bool plotAreaShown = false;
    const auto countPixels = [&] {
        const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect plotArea = view->mapFromScene(view->chart()->mapToScene(view->chart()->plotArea()))
                                   .boundingRect()
                                   .intersected(image.rect());
        plotAreaShown = !plotArea.isEmpty();
        green = 0;
        other = 0;
        for (int y = plotArea.top(); y <= plotArea.bottom(); ++y) {
            for (int x = plotArea.left(); x <= plotArea.right(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.green() > 200 && pixel.red() < 60 && pixel.blue() < 60)
                    ++green;
                else
                    ++other;
            }
        }
        return plotAreaShown && green > 100;
    };
    // The curves reach the screen once the view has painted them, which the
    // OpenGL path does on a later frame.
    QTRY_VERIFY2(countPixels(), qPrintable(QStringLiteral("plot area shown: %1, %2 green pixels of %3")
                                              .arg(plotAreaShown)
                                              .arg(green)
                                              .arg(green + other)));
}

QTEST_MAIN(TestChart)

#include "tst_chart.moc"
