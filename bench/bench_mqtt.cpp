// What publishing to an MQTT broker costs the console and what reaches the
// broker, over a pty with the window shown and a broker of the benchmark's own on
// 127.0.0.1. By default: the receive slot's time per frame at 9000 frames/s with
// publishing on against off, in rounds off, on, on, off so that a busy machine
// weighs on both alike, and the samples a subscriber got for the frames sent
// while publishing. With the argument "outage": the broker stopped for 60 s while
// the board streams at 9000 frames/s, then started again: the process's peak
// memory (its own, so the case runs in a process of its own), the longest stall of
// the window's event loop, and what the reconnect delivered and said it dropped.
// A refused login and a broker that never answers are timed for the longest
// stall of the window's event loop too.
// Prints "name: value unit" lines.

#include "benchsupport.h"
#include "mqtttestsupport.h"
#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "gui/statusline.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSet>
#include <QTcpServer>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using BenchSupport::PacedWriter;
using BenchSupport::ReceiveProbe;
using BenchSupport::report;
using TestSupport::PublishedSample;

constexpr int framesPerSecond = 9000;
constexpr int roundSeconds = 3;
constexpr int outageSeconds = 60;
// Longer than a silent broker is waited for.
constexpr int refusalSeconds = 7;
constexpr double costGoal = 1.10;
constexpr double memoryBoundMb = 200;
constexpr int stallTickMs = 5;
const QString prefix = QStringLiteral("bench");


bool fail(const char *what)
{
    std::fprintf(stderr, "bench_mqtt: %s\n", what);
    return false;
}

// The longest the event loop went without coming round to a short timer.
class StallWatch
{
public:
    StallWatch()
    {
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            if (m_sinceTick.isValid())
                longestMs = std::max(longestMs, m_sinceTick.elapsed() - stallTickMs);
            m_sinceTick.start();
        });
        m_ticker.start(stallTickMs);
    }

    qint64 longestMs = 0;

private:
    QElapsedTimer m_sinceTick;
    QTimer m_ticker;
};

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    return TestSupport::processEventsUntil(condition, timeoutMs);
}

bool statusSays(MainWindow &window, const QString &text)
{
    return window.statusLine()->text().contains(text);
}

bool startPublishing(MainWindow &window, const TestSupport::TestBroker &broker)
{
    return TestSupport::publishToMqtt(window, broker.url(prefix), QStringLiteral("rig"), QString(), false)
        && waitFor([&] { return statusSays(window, QStringLiteral("MQTT 已连接")); }, 10000);
}

// Streams `seconds` of numbered frames at the board's rate and waits until the
// window took them all.
bool stream(ReceiveProbe &probe, TestSupport::PtyConsole &console, int seconds, qint64 *firstFrame)
{
    const qint64 frames = qint64(framesPerSecond) * seconds;
    const qint64 expected = probe.receivedBytes + frames * TestSupport::numberedFrame(0).size();
    const qint64 first = *firstFrame;
    // Bounds each wait for events, so the loop looks at the writer in time.
    QTimer tick;
    tick.start(10);
    PacedWriter writer(console.board(), frames, std::chrono::nanoseconds(1000000000 / framesPerSecond),
                       [first](qint64 index) { return TestSupport::numberedFrame(int((first + index) % 100000)); });
    while (!writer.finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    *firstFrame += frames;
    return !writer.failed && waitFor([&] { return probe.receivedBytes >= expected; }, 10000);
}

// Each sample once, and how many there were.
qint64 distinctSamples(const QList<PublishedSample> &samples, qint64 *repeated)
{
    QSet<qint64> seen;
    for (const PublishedSample &sample : samples)
        seen.insert(sample.sample);
    *repeated = samples.size() - seen.size();
    return seen.size();
}

// A broker of the benchmark's own with a subscriber to everything under the
// prefix, and a shown console whose receive slot the probe times.
struct Stand
{
    explicit Stand(const TestSupport::TestBroker::Options &options = {}) : broker(options) {}

    bool start()
    {
        if (!broker.start())
            return fail(qPrintable(broker.errorString()));
        subscriber = std::make_unique<TestSupport::TestSubscriber>(broker, prefix + QStringLiteral("/#"));
        if (!subscriber->waitUntilSubscribed())
            return fail("the subscriber was not let in");
        probe.followWindowSlot();
        console.window().show();
        if (!QTest::qWaitForWindowExposed(&console.window()) || !serialPortInst->isOpen())
            return fail("no window or no port");
        return true;
    }

    TestSupport::TestBroker broker;
    std::unique_ptr<TestSupport::TestSubscriber> subscriber;
    ReceiveProbe probe;
    TestSupport::PtyConsole console;
};

bool benchCost()
{
    Stand stand;
    if (!stand.start())
        return false;
    TestSupport::TestBroker &broker = stand.broker;
    TestSupport::TestSubscriber &subscriber = *stand.subscriber;
    ReceiveProbe &probe = stand.probe;
    TestSupport::PtyConsole &console = stand.console;
    MainWindow &window = console.window();

    qint64 frame = 0;
    qint64 nanoseconds[2] = {};
    qint64 framesSent[2] = {};
    qint64 longestStallMs[2] = {};
    for (const bool publishing : { false, true, true, false }) {
        auto *action = TestSupport::widget<QAction>(window, "action_mqtt");
        if (publishing && !action->isChecked() && !startPublishing(window, broker))
            return fail("the window did not connect to the broker");
        if (!publishing && action->isChecked())
            action->trigger();
        const qint64 before = probe.slotNanoseconds;
        const StallWatch stalls;
        if (!stream(probe, console, roundSeconds, &frame))
            return fail("the frames did not get through");
        nanoseconds[publishing] += probe.slotNanoseconds - before;
        longestStallMs[publishing] = std::max(longestStallMs[publishing], stalls.longestMs);
        framesSent[publishing] += qint64(framesPerSecond) * roundSeconds;
    }
    const double offUs = nanoseconds[0] / 1e3 / double(framesSent[0]);
    const double onUs = nanoseconds[1] / 1e3 / double(framesSent[1]);
    report(QStringLiteral("mqtt_receive_frame_slot_us (not publishing)"), offUs, QStringLiteral("us"),
           QStringLiteral("%1 frames at %2 frames/s").arg(framesSent[0]).arg(framesPerSecond));
    report(QStringLiteral("mqtt_receive_frame_slot_us (publishing)"), onUs, QStringLiteral("us"),
           QStringLiteral("%1 frames at %2 frames/s").arg(framesSent[1]).arg(framesPerSecond));
    report(QStringLiteral("mqtt_publish_receive_cost"), onUs / offUs, QStringLiteral("x"),
           QStringLiteral("publishing over not, goal <= %1").arg(costGoal, 0, 'f', 2));
    report(QStringLiteral("mqtt_stall_max (not publishing)"), double(longestStallMs[0]), QStringLiteral("ms"),
           QStringLiteral("longest event-loop stall while streaming"));
    report(QStringLiteral("mqtt_stall_max (publishing)"), double(longestStallMs[1]), QStringLiteral("ms"),
           QStringLiteral("longest event-loop stall while streaming, goal < 20 ms"));

    // Publishing stopped before the last round: what it sent is all there is.
    qint64 repeated = 0;
    qint64 delivered = 0;
    waitFor([&] {
        delivered = distinctSamples(TestSupport::publishedSamples(subscriber.messages(QStringLiteral("/telemetry"))),
                                    &repeated);
        return delivered >= framesSent[1];
    }, 10000);
    report(QStringLiteral("mqtt_samples_delivered"), double(delivered) / double(framesSent[1]), QStringLiteral("of sent"),
           QStringLiteral("%1 distinct samples for %2 frames sent, %3 repeated, goal 1.0")
               .arg(delivered)
               .arg(framesSent[1])
               .arg(repeated));
    return true;
}

// A login the broker refuses and a broker that takes the connection and never
// answers, while the board streams: the longest stall from the OK in the dialog
// to the item unticked again, the stop included.
bool benchRefusals()
{
    Stand stand({ QStringLiteral("bench"), QStringLiteral("right") });
    if (!stand.start())
        return false;
    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost))
        return fail("no port for a silent broker");
    TestSupport::TestBroker &broker = stand.broker;
    ReceiveProbe &probe = stand.probe;
    TestSupport::PtyConsole &console = stand.console;
    MainWindow &window = console.window();
    const QString silentUrl = QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(silent.serverPort()).arg(prefix);
    const struct
    {
        const char *name;
        QString url;
        QString password;
    } cases[] = { { "wrong password", broker.url(prefix), QStringLiteral("wrong") }, { "silent broker", silentUrl, {} } };
    qint64 frame = 0;
    for (const auto &refusal : cases) {
        if (!TestSupport::publishToMqtt(window, refusal.url, QStringLiteral("rig"), refusal.password, false))
            return fail("the dialog did not take the broker");
        const StallWatch stalls;
        if (!stream(probe, console, refusalSeconds, &frame))
            return fail("the frames did not get through");
        const bool said = statusSays(window, QStringLiteral("MQTT 连接失败")) || statusSays(window, QStringLiteral("MQTT 重连中"));
        TestSupport::widget<QAction>(window, "action_mqtt")->trigger();
        QTest::qWait(100);
        report(QStringLiteral("mqtt_stall_max (%1)").arg(QLatin1String(refusal.name)), double(stalls.longestMs),
               QStringLiteral("ms"),
               QStringLiteral("%1 s streaming and the stop, the status bar %2, goal < 20 ms")
                   .arg(refusalSeconds)
                   .arg(said ? QStringLiteral("said so") : QStringLiteral("said nothing")));
    }
    return true;
}

bool benchOutage()
{
    Stand stand;
    if (!stand.start())
        return false;
    TestSupport::TestBroker &broker = stand.broker;
    TestSupport::TestSubscriber &subscriber = *stand.subscriber;
    ReceiveProbe &probe = stand.probe;
    TestSupport::PtyConsole &console = stand.console;
    MainWindow &window = console.window();
    if (!startPublishing(window, broker))
        return fail("the window did not connect to the broker");
    const qint64 startKiB = BenchSupport::statusKiB("VmRSS:");

    // Starting and stopping the broker waits for it in this thread: the stalls
    // are the console's only from when it is down or up.
    broker.stop();
    qint64 stallDuringOutageMs = 0;
    {
        const StallWatch stalls;
        qint64 frame = 0;
        if (!stream(probe, console, outageSeconds, &frame))
            return fail("the frames did not get through");
        stallDuringOutageMs = stalls.longestMs;
    }
    const qint64 peakKiB = BenchSupport::statusKiB("VmHWM:");
    const qsizetype receivedBefore = subscriber.messages(QStringLiteral("/telemetry")).size();
    if (!broker.start())
        return fail(qPrintable(broker.errorString()));
    QElapsedTimer reconnect;
    reconnect.start();
    qint64 stallReconnectingMs = 0;
    double reconnectSeconds = 0;
    {
        const StallWatch stalls;
        if (!waitFor([&] { return statusSays(window, QStringLiteral("MQTT 已连接")); }, 60000))
            return fail("the window did not reconnect");
        reconnectSeconds = reconnect.elapsed() / 1000.0;
        // Until the queue is through: no message for half a second.
        qsizetype received = -1;
        while (received != subscriber.messages(QStringLiteral("/telemetry")).size()) {
            received = subscriber.messages(QStringLiteral("/telemetry")).size();
            QTest::qWait(500);
        }
        stallReconnectingMs = stalls.longestMs;
    }
    qint64 repeated = 0;
    const qint64 delivered = distinctSamples(
        TestSupport::publishedSamples(subscriber.messages(QStringLiteral("/telemetry")).mid(receivedBefore)), &repeated);
    const qint64 keptAtMost = qint64(framesPerSecond) * 10;
    const QString pane = TestSupport::widget<QTextBrowser>(window, "textBrowser_logout")->toPlainText();
    const QStringList dropLines = pane.split(u'\n').filter(QStringLiteral("丢弃了"));

    report(QStringLiteral("mqtt_outage_peak_rss"), peakKiB / 1024.0, QStringLiteral("MiB"),
           QStringLiteral("%1 MB, %2 s at %3 frames/s with the broker down, %4 MiB before, bound %5 MB")
               .arg(peakKiB * 1024 / 1000000)
               .arg(outageSeconds)
               .arg(framesPerSecond)
               .arg(startKiB / 1024.0, 0, 'f', 1)
               .arg(memoryBoundMb));
    report(QStringLiteral("mqtt_outage_stall_max"), double(stallDuringOutageMs), QStringLiteral("ms"),
           QStringLiteral("longest event-loop stall while the broker was down, goal < 20 ms"));
    report(QStringLiteral("mqtt_reconnect_stall_max"), double(stallReconnectingMs), QStringLiteral("ms"),
           QStringLiteral("longest event-loop stall while reconnecting and sending the queue, goal < 20 ms"));
    report(QStringLiteral("mqtt_reconnect_time"), reconnectSeconds, QStringLiteral("s"),
           QStringLiteral("from the broker's start to connected, back-off at most 30 s"));
    report(QStringLiteral("mqtt_outage_delivered"), double(delivered), QStringLiteral("samples"),
           QStringLiteral("after the reconnect, at most 10 s (%1) kept, %2 repeated; the pane: %3")
               .arg(keptAtMost)
               .arg(repeated)
               .arg(dropLines.isEmpty() ? QStringLiteral("no line on what was dropped") : dropLines.last()));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(BenchSupport::dropDebugMessages);
    if (QApplication::arguments().contains(QStringLiteral("outage")))
        return benchOutage() ? 0 : 1;
    return benchCost() && benchRefusals() ? 0 : 1;
}
