// What the chart's instruments cost the console, over a pty with the window
// shown: the receive slot's time per telemetry frame with a lower and an upper
// limit on all five curves and the trigger armed on a level no frame crosses (so
// it looks at every sample and never stops the chart), against neither, in
// alternating short rounds so that a busy machine weighs on both alike; and the
// protection's latency, from the read that brings the third reading outside a
// limit to the GPU power-off frame reaching the board's end of the pty, over a
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
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <poll.h>

namespace {

using BenchSupport::ReceiveProbe;
using BenchSupport::report;

constexpr int defaultRounds = 200;
constexpr int framesPerRound = 100;
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

qint64 medianOf(std::vector<qint64> values)
{
    std::nth_element(values.begin(), values.begin() + qsizetype(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// This machine's speed drifts by as much as twice within seconds, and a few slots
// are held up far longer than the rest: each round is short, each limited round is
// weighed against the unlimited one just before it by their medians, and the cost
// is the median of those ratios.
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
    qint64 totalNanoseconds[2] = {};
    qint64 roundMedian[2] = {};
    std::vector<double> ratios;
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
        std::vector<qint64> frameNanoseconds;
        for (int n = 0; n < framesPerRound; ++n, ++frame) {
            const qint64 before = clock.slotNanoseconds;
            if (!clock.boardSends(console, TestSupport::numberedFrame(frame)))
                return false;
            frameNanoseconds.push_back(clock.slotNanoseconds - before);
            totalNanoseconds[limited] += frameNanoseconds.back();
        }
        roundMedian[limited] = medianOf(frameNanoseconds);
        if (limited)
            ratios.push_back(double(roundMedian[1]) / double(roundMedian[0]));
    }
    const double frames = double(rounds) * framesPerRound;
    report("receive_frame_slot_us (no limits, no trigger)", totalNanoseconds[0] / 1e3 / frames, "us",
           QStringLiteral("mean of %1 frames").arg(frames));
    report("receive_frame_slot_us (five curves limited, trigger armed)", totalNanoseconds[1] / 1e3 / frames, "us",
           QStringLiteral("mean of %1 frames").arg(frames));
    std::sort(ratios.begin(), ratios.end());
    report("instruments_receive_cost", ratios[ratios.size() / 2], "x",
           QStringLiteral("median over %1 pairs of rounds, with limits and trigger over without, goal <= %2")
               .arg(ratios.size())
               .arg(costGoal, 0, 'f', 2));
    return setInstruments(console.window(), false);
}

qint64 steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool benchLatency(ReceiveProbe &clock, TestSupport::PtyConsole &console, int trials)
{
    MainWindow &window = console.window();
    if (!TestSupport::enterLimits(window, 3, QString(), QStringLiteral("50")))
        return false;
    auto *interlock = TestSupport::widget<QAction>(window, "action_interlock");
    const int boardEnd = console.board().masterFd();
    // 12V reads 117 * 0.45 = 52.65, above its limit.
    const QByteArray outside = TestSupport::telemetryFrame(10, 20, 30, 117, 90);
    std::vector<double> latencies;
    for (int trial = 0; trial < trials; ++trial) {
        interlock->setChecked(true);
        if (!clock.boardSends(console, outside.repeated(2)))
            return false;
        // The board's end is watched from a thread of its own, so that the moment
        // the frame reaches it is seen whatever the console's thread is doing.
        std::atomic<qint64> reachedBoardNs { 0 };
        std::thread watcher([&] {
            pollfd readable { boardEnd, POLLIN, 0 };
            if (::poll(&readable, 1, 2000) == 1)
                reachedBoardNs = steadyNanoseconds();
        });
        const bool sent = clock.boardSends(console, outside);
        const bool reached = TestSupport::processEventsUntil([&] { return reachedBoardNs != 0; }, 2000);
        // Both clocks run on: the latency is how much later the one started than the other.
        const qint64 sinceArrivalNs = clock.arrival.nsecsElapsed();
        const qint64 sinceReachedNs = steadyNanoseconds() - reachedBoardNs;
        watcher.join();
        if (!sent || !reached || console.board().readMasterExactly(8, 2000).size() != 8)
            return false;
        latencies.push_back(double(sinceArrivalNs - sinceReachedNs) / 1e6);
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
