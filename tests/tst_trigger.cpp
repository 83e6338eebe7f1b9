// The trigger in the window, over a pty: the simulated board's inrush caught and
// the chart paused around it.

#include "boardsimulator.h"
#include "core/powerchartdata.h"
#include "gui/powerchart.h"
#include "testsupport.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QGraphicsLineItem>
#include <QLabel>
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
    void cleanup();
    void catchesTheInrush_data();
    void catchesTheInrush();
    void singleOrContinuous_data();
    void singleOrContinuous();
    void dialogRefusesALevelThatIsNoNumber();

private:
    QAction *action(const char *name) { return widget<QAction>(console->window(), name); }
    // The board streams this many frames, and the window takes them in.
    void stream(int frames);
    // The GPU button pressed in the window, and its frame taken by the board.
    void switchRail(bool on);
    // Where 12V first crosses the level from a sample on, by the frames sent; -1 for nowhere.
    qint64 crossing(qint64 from, Edge edge, double level) const;
    // The capture as the window shows it: paused with the trigger sample at its
    // place in a view as wide as the live one, marked there.
    void expectCapture(qint64 triggerSample, int position);
    QStringList triggerLines();

    std::unique_ptr<PtyConsole> console;
    std::unique_ptr<BoardSimulator> board;
    QList<double> sentRail;
};

void TestTrigger::init()
{
    console = std::make_unique<PtyConsole>();
    BoardSimulator::Settings settings;
    settings.noiseAmplitude = 0;
    board = std::make_unique<BoardSimulator>(settings);
    sentRail.clear();
}

void TestTrigger::cleanup()
{
    console.reset();
    board.reset();
}

void TestTrigger::stream(int frames)
{
    constexpr int framesPerWrite = 100;
    for (int written = 0; written < frames; written += framesPerWrite) {
        QByteArray bytes;
        for (int i = written; i < std::min(frames, written + framesPerWrite); ++i) {
            const QByteArray frame = board->nextTelemetryFrame();
            sentRail << (*Telemetry::decodeFrame(frame))[twelveVolt];
            bytes += frame;
        }
        QVERIFY(console->boardSends(bytes));
    }
}

void TestTrigger::switchRail(bool on)
{
    click(console->window(), on ? "pushButton_GPU_power_on" : "pushButton_GPU_power_off");
    const QByteArray frame = console->sentBytes(8);
    QCOMPARE(frame.size(), 8);
    board->receive(frame);
    QCOMPARE(board->isRailOn(), on);
}

qint64 TestTrigger::crossing(qint64 from, Edge edge, double level) const
{
    for (qint64 i = std::max<qint64>(from, 1); i < sentRail.size(); ++i) {
        const bool rising = sentRail[i - 1] < level && sentRail[i] >= level;
        const bool falling = sentRail[i - 1] > level && sentRail[i] <= level;
        if ((rising && edge != Edge::Falling) || (falling && edge != Edge::Rising))
            return i;
    }
    return -1;
}

void TestTrigger::expectCapture(qint64 triggerSample, int position)
{
    PowerChart *const chart = console->window().powerChart();
    QVERIFY(chart->isPaused());
    QVERIFY(action("action_pause_chart")->isChecked());
    const double viewLow = double(triggerSample - liveSpan * position / 100);
    QCOMPARE(chart->axisX()->min(), viewLow);
    QCOMPARE(chart->axisX()->max(), viewLow + double(liveSpan));
    QCOMPARE(chart->triggerMarker(), triggerSample);

    QChart *const view = widget<QChartView>(console->window(), "power_moniter")->chart();
    const double x = view->mapToPosition(QPointF(double(triggerSample), 0), view->series().constFirst()).x();
    int markers = 0;
    for (const QGraphicsItem *item : view->childItems()) {
        const auto *line = qgraphicsitem_cast<const QGraphicsLineItem *>(item);
        if (line && line->isVisible()) {
            ++markers;
            QCOMPARE(line->line().x1(), x);
            QCOMPARE(line->line().x2(), x);
        }
    }
    QCOMPARE(markers, 1);
    // Every frame is kept, also those that came after the capture.
    QCOMPARE(chart->history().endSample(), sentRail.size());
}

QStringList TestTrigger::triggerLines()
{
    return console->newLogLines().filter(QRegularExpression(QStringLiteral("^触发: ")));
}

void TestTrigger::catchesTheInrush_data()
{
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("edgeSeen"); // empty: never caught

    QTest::newRow("rising at 20 %") << Edge::Rising << 40.0 << 20 << QStringLiteral("上升沿");
    QTest::newRow("rising at the left edge") << Edge::Rising << 40.0 << 0 << QStringLiteral("上升沿");
    QTest::newRow("rising at 75 %") << Edge::Rising << 40.0 << 75 << QStringLiteral("上升沿");
    QTest::newRow("falling after the peak") << Edge::Falling << 40.0 << 20 << QStringLiteral("下降沿");
    QTest::newRow("either") << Edge::Either << 40.0 << 20 << QStringLiteral("上升沿");
    QTest::newRow("a level never crossed") << Edge::Either << 100.0 << 20 << QString();
}

void TestTrigger::catchesTheInrush()
{
    QFETCH(Edge, edge);
    QFETCH(double, level);
    QFETCH(int, position);
    QFETCH(QString, edgeSeen);

    QVERIFY(chooseTrigger(console->window(), { twelveVolt, level, edge, Mode::Single, position }));
    action("action_trigger_arm")->trigger();
    stream(600);
    switchRail(true);
    stream(600);

    const qint64 triggerSample = crossing(1, edge, level);
    if (edgeSeen.isEmpty()) {
        QCOMPARE(triggerSample, -1);
        QVERIFY(!console->window().powerChart()->isPaused());
        QVERIFY(!action("action_pause_chart")->isChecked());
        QVERIFY(action("action_trigger_arm")->isChecked());
        QCOMPARE(triggerLines(), QStringList());
        return;
    }
    QVERIFY(triggerSample >= 600);
    expectCapture(triggerSample, position);
    QVERIFY(!action("action_trigger_arm")->isChecked());
    QCOMPARE(triggerLines(), QStringList(QStringLiteral("触发: 12V power %1, 电平 %2 (样本 %3)")
                                             .arg(edgeSeen)
                                             .arg(level)
                                             .arg(triggerSample)));
}

void TestTrigger::singleOrContinuous_data()
{
    QTest::addColumn<Mode>("mode");

    QTest::newRow("single") << Mode::Single;
    QTest::newRow("continuous") << Mode::Continuous;
}

// Resumed, a continuous trigger catches the next inrush; a single one has disarmed.
void TestTrigger::singleOrContinuous()
{
    QFETCH(Mode, mode);

    QVERIFY(chooseTrigger(console->window(), { twelveVolt, 40, Edge::Rising, mode, 20 }));
    action("action_trigger_arm")->trigger();
    stream(100);
    switchRail(true);
    stream(500);
    expectCapture(crossing(1, Edge::Rising, 40), 20);
    QCOMPARE(action("action_trigger_arm")->isChecked(), mode == Mode::Continuous);
    QCOMPARE(triggerLines().size(), 1);

    action("action_pause_chart")->trigger();
    QVERIFY(!console->window().powerChart()->isPaused());
    QVERIFY(!console->window().powerChart()->triggerMarker());
    switchRail(false);
    stream(100);
    switchRail(true);
    stream(500);
    if (mode == Mode::Single) {
        QVERIFY(!console->window().powerChart()->isPaused());
        QCOMPARE(triggerLines(), QStringList());
        return;
    }
    const qint64 second = crossing(600, Edge::Rising, 40);
    QVERIFY(second >= 700);
    expectCapture(second, 20);
    QCOMPARE(triggerLines().size(), 1);
}

void TestTrigger::dialogRefusesALevelThatIsNoNumber()
{
    const ChartTrigger::Settings before = console->window().powerChart()->trigger().settings();
    QVERIFY(!chooseTrigger(console->window(), { 0, 1, Edge::Falling, Mode::Continuous, 50 }, QStringLiteral("forty")));
    auto *dialog = widget<QDialog>(console->window(), "dialog_trigger");
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("label_trigger_problem"))->isVisible());
    dialog->reject();
    QCOMPARE(console->window().powerChart()->trigger().settings(), before);

    QVERIFY(chooseTrigger(console->window(), { 0, 1, Edge::Falling, Mode::Continuous, 50 }, QStringLiteral(" 12.5 ")));
    const ChartTrigger::Settings chosen { 0, 12.5, Edge::Falling, Mode::Continuous, 50 };
    QCOMPARE(console->window().powerChart()->trigger().settings(), chosen);
}

QTEST_MAIN(TestTrigger)
#include "tst_trigger.moc"
