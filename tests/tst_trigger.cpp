// The trigger in the window, over a pty: the simulated board's inrush caught and
// the chart paused around it.

#include "boardsimulator.h"
#include "core/curvelimits.h"
#include "core/powerchartdata.h"
#include "core/telemetrycsv.h"
#include "gui/chartcursors.h"
#include "gui/powerchart.h"
#include "testsupport.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QDialog>
#include <QGraphicsLineItem>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QValueAxis>

#include <memory>

using namespace TestSupport;
using Edge = ChartTrigger::Edge;
using Mode = ChartTrigger::Mode;

Q_DECLARE_METATYPE(ChartTrigger::Edge)
Q_DECLARE_METATYPE(ChartTrigger::Mode)

namespace {

constexpr int twelveVolt = 3;
constexpr qint64 liveSpan = PowerChartData::maxPoints;

} // namespace

class TestTrigger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { console.reset(); }
    void catchesTheInrush_data();
    void catchesTheInrush();
    void dialogRefusesALevelThatIsNoNumber();
    void cursorsReadTheCapture();

private:
    QAction *action(const char *name) { return widget<QAction>(console->window(), name); }
    // The GPU button pressed in the window and its frame taken by the board, which
    // then streams 600 frames into the window.
    void switchRailAndStream(bool on);
    // Where 12V first crosses the level from a sample on, by the frames sent.
    qint64 crossing(qint64 from, Edge edge, double level) const;
    // Paused with the trigger sample at its place in a view as wide as the live
    // one, marked there, and every frame kept.
    void expectCapture(qint64 triggerSample, int position);

    std::unique_ptr<PtyConsole> console;
    BoardSimulator board;
    QList<Telemetry::Sample> sent;
};

void TestTrigger::init()
{
    console = std::make_unique<PtyConsole>();
    BoardSimulator::Settings settings;
    settings.noiseAmplitude = 0;
    board.setSettings(settings);
    sent.clear();
}

void TestTrigger::switchRailAndStream(bool on)
{
    click(console->window(), on ? "pushButton_GPU_power_on" : "pushButton_GPU_power_off");
    board.receive(console->sentBytes(8));
    QCOMPARE(board.isRailOn(), on);
    for (int write = 0; write < 6; ++write) {
        QByteArray frames;
        for (int i = 0; i < 100; ++i) {
            frames += board.nextTelemetryFrame();
            sent << *Telemetry::decodeFrame(frames.last(Telemetry::frameLength));
        }
        QVERIFY(console->boardSends(frames));
    }
}

qint64 TestTrigger::crossing(qint64 from, Edge edge, double level) const
{
    for (qint64 i = from; i < sent.size(); ++i) {
        const double previous = sent[i - 1][twelveVolt];
        const double current = sent[i][twelveVolt];
        const bool rising = previous < level && current >= level;
        const bool falling = previous > level && current <= level;
        if ((rising && edge != Edge::Falling) || (falling && edge != Edge::Rising))
            return i;
    }
    return -1;
}

void TestTrigger::expectCapture(qint64 triggerSample, int position)
{
    PowerChart *const chart = console->window().powerChart();
    const double viewLow = double(triggerSample - liveSpan * position / 100);
    QCOMPARE(chart->axisX()->min(), viewLow);
    QCOMPARE(chart->axisX()->max(), viewLow + double(liveSpan));
    QCOMPARE(chart->triggerMarker(), triggerSample);
    QChart *const view = widget<QChartView>(console->window(), "power_moniter")->chart();
    const double x = view->mapToPosition(QPointF(double(triggerSample), 0), view->series().constFirst()).x();
    QList<double> markers;
    for (const QGraphicsItem *item : view->childItems()) {
        if (item->type() == QGraphicsLineItem::Type && item->isVisible())
            markers << static_cast<const QGraphicsLineItem *>(item)->line().x1()
                    << static_cast<const QGraphicsLineItem *>(item)->line().x2();
    }
    QCOMPARE(markers, QList<double>({ x, x }));
    QCOMPARE(chart->history().endSample(), sent.size());
}

void TestTrigger::catchesTheInrush_data()
{
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("position");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("edgeSeen"); // empty: never caught

    QTest::newRow("rising, single") << Edge::Rising << 40.0 << 20 << Mode::Single << QStringLiteral("上升沿");
    QTest::newRow("rising at the left edge, continuous") << Edge::Rising << 40.0 << 0 << Mode::Continuous
                                                         << QStringLiteral("上升沿");
    QTest::newRow("rising at 75 %") << Edge::Rising << 40.0 << 75 << Mode::Single << QStringLiteral("上升沿");
    QTest::newRow("falling after the peak") << Edge::Falling << 40.0 << 20 << Mode::Single
                                            << QStringLiteral("下降沿");
    QTest::newRow("either, continuous") << Edge::Either << 40.0 << 20 << Mode::Continuous << QStringLiteral("上升沿");
    QTest::newRow("a level never crossed") << Edge::Either << 100.0 << 20 << Mode::Single << QString();
}

// Two inrushes, the chart resumed after each capture: a single trigger catches the
// first alone, a continuous one both.
void TestTrigger::catchesTheInrush()
{
    QFETCH(Edge, edge);
    QFETCH(double, level);
    QFETCH(int, position);
    QFETCH(Mode, mode);
    QFETCH(QString, edgeSeen);

    QVERIFY(chooseTrigger(console->window(), { twelveVolt, level, edge, mode, position }));
    action("action_trigger_arm")->trigger();
    for (int inrush = 0; inrush < 2; ++inrush) {
        const qint64 from = sent.size();
        switchRailAndStream(false);
        switchRailAndStream(true);
        const bool caught = !edgeSeen.isEmpty() && (inrush == 0 || mode == Mode::Continuous);
        QCOMPARE(console->window().powerChart()->isPaused(), caught);
        QCOMPARE(action("action_pause_chart")->isChecked(), caught);
        QCOMPARE(action("action_trigger_arm")->isChecked(), edgeSeen.isEmpty() || mode == Mode::Continuous);
        const QStringList lines = console->newLogLines().filter(QRegularExpression(QStringLiteral("^触发")));
        if (!caught) {
            QCOMPARE(lines, QStringList());
            continue;
        }
        const qint64 triggerSample = crossing(from + 1, edge, level);
        QVERIFY(triggerSample >= from + 600);
        expectCapture(triggerSample, position);
        QCOMPARE(lines, QStringList(QStringLiteral("触发: 12V power %1, 电平 %2 (样本 %3)")
                                        .arg(edgeSeen)
                                        .arg(level)
                                        .arg(triggerSample)));
        action("action_pause_chart")->trigger();
        QVERIFY(!console->window().powerChart()->triggerMarker());
    }
}

void TestTrigger::dialogRefusesALevelThatIsNoNumber()
{
    const ChartTrigger::Settings chosen { 0, 12.5, Edge::Falling, Mode::Continuous, 50 };
    QVERIFY(!chooseTrigger(console->window(), chosen, QStringLiteral("forty")));
    auto *dialog = widget<QDialog>(console->window(), "dialog_trigger");
    QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("label_trigger_problem"))->isVisible());
    dialog->reject();
    QCOMPARE(console->window().powerChart()->trigger().settings(), ChartTrigger::Settings());
    QVERIFY(chooseTrigger(console->window(), chosen, QStringLiteral(" 12.5 ")));
    QCOMPARE(console->window().powerChart()->trigger().settings(), chosen);
}

// Cursors around the inrush read what the board sent: each curve's extremes and
// mean between them, and the rows "复制区间" puts on the clipboard.
void TestTrigger::cursorsReadTheCapture()
{
    QVERIFY(chooseTrigger(console->window(), { twelveVolt, 40, Edge::Rising, Mode::Single, 20 }));
    action("action_trigger_arm")->trigger();
    switchRailAndStream(false);
    switchRailAndStream(true);
    const std::optional<qint64> triggerSample = console->window().powerChart()->triggerMarker();
    QVERIFY(triggerSample);
    ChartCursors *const cursors = console->window().chartCursors();
    const qint64 from = *triggerSample - 2;
    const qint64 to = *triggerSample + 12;
    cursors->place(ChartCursors::B, to);
    cursors->place(ChartCursors::A, from);

    const QString readout = cursors->readoutText();
    QVERIFY2(readout.contains(QStringLiteral("A→B: %1 个样本, ").arg(to - from + 1)), qPrintable(readout));
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        double low = sent[from][series], high = low, sum = 0;
        for (qint64 n = from; n <= to; ++n) {
            low = std::min(low, sent[n][series]);
            high = std::max(high, sent[n][series]);
            sum += sent[n][series];
        }
        const QString line = QStringLiteral("%1: 最小 %2, 最大 %3, 平均 %4")
                                 .arg(QLatin1String(CurveLimits::shortNames[size_t(series)]))
                                 .arg(Telemetry::rounded(low))
                                 .arg(Telemetry::rounded(high))
                                 .arg(Telemetry::rounded(sum / double(to - from + 1), 4));
        QVERIFY2(readout.contains(line), qPrintable(line + QStringLiteral(" in\n") + readout));
    }

    console->newLogLines();
    action("action_copy_range")->trigger();
    QStringList lines;
    QTRY_VERIFY(!(lines += console->newLogLines()).isEmpty());
    QCOMPARE(lines, QStringList(QStringLiteral("已复制 %1 行到剪贴板").arg(to - from + 1)));
    const QStringList rows = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + to - from + 1);
    QCOMPARE(rows.first(), QString::fromUtf8(TelemetryCsv::header().trimmed()));
    for (qint64 n = from; n <= to; ++n) {
        const QStringList fields = rows.at(n - from + 1).split(u',');
        QCOMPARE(fields.at(2).toLongLong(), n);
        for (int series = 0; series < Telemetry::seriesCount; ++series)
            QCOMPARE(fields.at(3 + series).toDouble(), Telemetry::rounded(sent[n][series]));
    }
}

QTEST_MAIN(TestTrigger)
#include "tst_trigger.moc"
