// What the chart's instruments cost the console, over a pty with the window
// shown: the receive slot's time per telemetry frame with a lower and an upper
// limit on all five curves and the trigger armed on a level no frame crosses (so
// it looks at every sample and never stops the chart), against neither, in
// alternating rounds so that a busy machine weighs on both alike; and the protection's latency, from the read that brings the third
// reading outside a limit to the driver taking the GPU power-off frame, over a
// number of trials. Prints "name: value unit" lines.

#include "benchsupport.h"
#include "testsupport.h"

#include "core/telemetry.h"
#include "gui/SerialPortHandler.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchSupport::ReceiveProbe;
using BenchSupport::report;

constexpr int defaultRounds = 10;
constexpr int framesPerRound = 500;
constexpr int warmUpFrames = 100;
constexpr int defaultTrials = 100;
constexpr double costGoal = 1.05;
constexpr double latencyMedianGoalMs = 2;
constexpr double latencyWorstGoalMs = 5;


bool setInstruments(MainWindow &window, bool on)
{
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        if (!TestSupport::enterLimits(window, series, on ? QStringLiteral("-1000") : QString(),
                                      on ? QStringLiteral("1000") : QString()))
            return false;
    }
    TestSupport::widget<QAction>(window, "action_trigger_arm")->setChecked(on);
    return true;
}

bool benchCost(ReceiveProbe &clock, TestSupport::PtyConsole &console, int rounds)
{
    const ChartTrigger::Settings neverCrossed { 4, 1000, ChartTrigger::Edge::Either, ChartTrigger::Mode::Continuous,
                                                20 };
    if (!TestSupport::chooseTrigger(console.window(), neverCrossed))
        return false;
    qint64 frame = 0;
    for (; frame < framesPerRound; ++frame) {
        if (!clock.boardSends(console, TestSupport::numberedFrame(frame)))
            return false;
    }
    qint64 nanoseconds[2] = {};
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool limited = round % 2;
        if (!setInstruments(console.window(), limited))
            return false;
        // The switch itself (dialogs, actions) leaves the caches to the widgets: a
        // few frames first, untimed, so that neither side pays for it.
        for (int n = 0; n < warmUpFrames; ++n, ++frame) {
            if (!clock.boardSends(console, TestSupport::numberedFrame(frame)))
                return false;
        }
        const qint64 before = clock.slotNanoseconds;
        for (int n = 0; n < framesPerRound; ++n, ++frame) {
            if (!clock.boardSends(console, TestSupport::numberedFrame(frame)))
                return false;
        }
        nanoseconds[limited] += clock.slotNanoseconds - before;
    }
    const double frames = double(rounds) * framesPerRound;
    const double withoutUs = nanoseconds[0] / 1e3 / frames;
    const double withUs = nanoseconds[1] / 1e3 / frames;
    report("receive_frame_slot_us (no limits, no trigger)", withoutUs, "us", QStringLiteral("%1 frames").arg(frames));
    report("receive_frame_slot_us (five curves limited, trigger armed)", withUs, "us",
           QStringLiteral("%1 frames").arg(frames));
    report("instruments_receive_cost", withUs / withoutUs, "x",
           QStringLiteral("with limits and trigger over without, goal <= %1").arg(costGoal, 0, 'f', 2));
    return setInstruments(console.window(), false);
}

bool benchLatency(ReceiveProbe &clock, TestSupport::PtyConsole &console, int trials)
{
    MainWindow &window = console.window();
    if (!TestSupport::enterLimits(window, 3, QString(), QStringLiteral("50")))
        return false;
    auto *interlock = TestSupport::widget<QAction>(window, "action_interlock");
    QElapsedTimer handedOver;
    QObject::connect(serialPortInst, &QSerialPort::bytesWritten, &clock, [&] {
        if (!handedOver.isValid())
            handedOver.start();
    });
    // 12V reads 117 * 0.45 = 52.65, above its limit.
    const QByteArray outside = TestSupport::telemetryFrame(10, 20, 30, 117, 90);
    std::vector<double> latencies;
    for (int trial = 0; trial < trials; ++trial) {
        interlock->setChecked(true);
        if (!clock.boardSends(console, outside.repeated(2)))
            return false;
        handedOver.invalidate();
        if (!clock.boardSends(console, outside))
            return false;
        if (!TestSupport::processEventsUntil([&] { return handedOver.isValid(); }, 2000)
            || console.board().readMasterExactly(8, 2000).size() != 8)
            return false;
        // Both clocks run on: the latency is how much later the one started than the other.
        latencies.push_back(double(clock.arrival.nsecsElapsed() - handedOver.nsecsElapsed()) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    report("protection_latency_median", median, "ms",
           QStringLiteral("%1 trials, goal %2 ms").arg(trials).arg(latencyMedianGoalMs));
    report("protection_latency_worst", latencies.back(), "ms",
           QStringLiteral("%1 trials, goal %2 ms").arg(trials).arg(latencyWorstGoalMs));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(BenchSupport::dropDebugMessages);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cost of limits on the receive path and the protection's latency."));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds of each, with and without."),
                                          QStringLiteral("count"), QString::number(defaultRounds));
    const QCommandLineOption trialsOption(QStringLiteral("trials"), QStringLiteral("Protection trials."),
                                          QStringLiteral("count"), QString::number(defaultTrials));
    parser.addOption(roundsOption);
    parser.addOption(trialsOption);
    parser.process(app);

    ReceiveProbe clock;
    TestSupport::PtyConsole console;
    clock.followWindowSlot();
    console.window().show();
    if (!QTest::qWaitForWindowExposed(&console.window()) || !serialPortInst->isOpen()) {
        std::fprintf(stderr, "bench_limits: no window or no port\n");
        return 1;
    }
    if (!benchCost(clock, console, std::max(1, parser.value(roundsOption).toInt()))) {
        std::fprintf(stderr, "bench_limits: telemetry frames did not get through\n");
        return 1;
    }
    if (!benchLatency(clock, console, std::max(1, parser.value(trialsOption).toInt()))) {
        std::fprintf(stderr, "bench_limits: the protection did not send its frame\n");
        return 1;
    }
    return 0;
}
