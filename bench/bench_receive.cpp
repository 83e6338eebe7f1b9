// What one arrival costs the console, measured over a pty with the window shown:
// a telemetry frame through the whole receive path (read, split, decode, five
// curve updates, the X axis, the repaint it asks for) against the wire time of a
// frame at 921600 baud, and a 256-byte chunk of board text early and late in a
// 10 MB stream, which must not grow dearer as the log pane fills.
//
// Then the board as a thread writing into the pty at its own pace, the console
// taking whatever the driver gathers: frames plotted against frames sent at 9000
// frames a second, one frame per write, without and with a telemetry recording
// (rows kept against frames sent, and the time to take them all in); and 2 MB of
// board text at the line's rate, shown against its wire time, with the backlog of
// bytes not yet taken in.
//
// Prints "name: value unit" lines; run it once on the offscreen platform and once
// under a virtual X display to see both chart drawing paths.

#include "benchsupport.h"
#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "core/powerchartdata.h"

#include <QLineSeries>
#include <QApplication>
#include <QChartView>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

namespace {

using BenchSupport::PacedWriter;
using BenchSupport::ReceiveProbe;

constexpr int defaultFrameCount = 5000;
// Enough to fill the curves, so every measured frame scrolls the chart.
constexpr int warmUpFrames = 500;
// Ten bytes of ten bits each (start, 8 data, stop) at 921600 baud.
constexpr double frameWireTimeUs = 10 * 10 * 1e6 / 921600;
constexpr double frameCostBound = 1.0 / 3;

constexpr qsizetype textChunkSize = 256;
constexpr qsizetype megabyte = 1024 * 1024;
constexpr int defaultTextMegabytes = 10;
constexpr double lastToFirstMegabyteBound = 1.5;

constexpr int streamedFramesPerSecond = 9000;
constexpr int streamedSeconds = 5;
constexpr double plottedShareGoal = 0.999;
// 921600 baud, ten bits a byte.
constexpr qint64 lineBytesPerSecond = 92160;
constexpr qint64 streamedTextBytes = 2000000;
constexpr double textTimeBound = 1.05;

// A line-free stream, or lines of 63 characters and a line feed: no chunk starts
// with 0xFF, so every chunk is board text.
QByteArray textChunk(qsizetype index, bool lineBreaks)
{
    QByteArray chunk(textChunkSize, ' ');
    for (qsizetype i = 0; i < textChunkSize; ++i) {
        const qsizetype at = index * textChunkSize + i;
        chunk[i] = lineBreaks && at % 64 == 63 ? '\n' : char('!' + at % 90);
    }
    return chunk;
}

void report(const QString &name, double value, const QString &unit, const QString &comparison = {})
{
    BenchSupport::report(name, value, unit, comparison, 2);
}

// Paint events of the chart view and everything inside it, OpenGL surface included.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *view) : m_view(view) { qApp->installEventFilter(this); }

    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const auto *widget = qobject_cast<QWidget *>(watched);
            if (widget && (widget == m_view || m_view->isAncestorOf(widget)))
                ++paints;
        }
        return false;
    }

private:
    QWidget *m_view;
};

std::unique_ptr<TestSupport::PtyConsole> shownConsole(ReceiveProbe &probe)
{
    auto console = std::make_unique<TestSupport::PtyConsole>();
    probe.followWindowSlot();
    console->window().show();
    if (!QTest::qWaitForWindowExposed(&console->window()))
        std::fprintf(stderr, "bench_receive: the window was not exposed\n");
    return console;
}

bool benchFrames(ReceiveProbe &probe, const QString &mode, int frameCount)
{
    const std::unique_ptr<TestSupport::PtyConsole> console = shownConsole(probe);
    if (!serialPortInst->isOpen())
        return false;
    auto *view = TestSupport::widget<QChartView>(console->window(), "power_moniter");
    PaintCounter paintCounter(view);

    for (int number = 0; number < warmUpFrames; ++number) {
        if (!probe.boardSends(*console, TestSupport::numberedFrame(number)))
            return false;
    }

    const int paintsBefore = paintCounter.paints;
    const qint64 slotBefore = probe.slotNanoseconds;
    QElapsedTimer clock;
    clock.start();
    for (int number = warmUpFrames; number < warmUpFrames + frameCount; ++number) {
        if (!probe.boardSends(*console, TestSupport::numberedFrame(number)))
            return false;
    }
    // The repaint that the last frame asked for belongs to it.
    QCoreApplication::processEvents();
    const double wholeUs = clock.nsecsElapsed() / 1e3 / frameCount;
    const double slotUs = (probe.slotNanoseconds - slotBefore) / 1e3 / frameCount;

    // The curves are redrawn at most once per display frame: the last redraw may be due yet.
    if (!TestSupport::processEventsUntil([] { return chartLineSeries[0]->count() == PowerChartData::maxPoints; }))
        return false;
    const auto againstWireTime = [](double us) {
        return QStringLiteral("ratio %1 of %2 us wire time, bound %3")
            .arg(us / frameWireTimeUs, 0, 'f', 3)
            .arg(frameWireTimeUs, 0, 'f', 1)
            .arg(frameCostBound, 0, 'f', 2);
    };
    // The whole path includes the benchmark's own pty round trip for every frame, so
    // it is shown for comparison; the bound is on what the console itself spends.
    report(QStringLiteral("receive_frame_us (%1)").arg(mode), wholeUs, QStringLiteral("us"),
           QStringLiteral("ratio %1 of %2 us wire time, one pty round trip per frame included")
               .arg(wholeUs / frameWireTimeUs, 0, 'f', 3)
               .arg(frameWireTimeUs, 0, 'f', 1));
    report(QStringLiteral("receive_frame_slot_us (%1)").arg(mode), slotUs, QStringLiteral("us"),
           againstWireTime(slotUs));
    report(QStringLiteral("chart_paints_per_frame (%1)").arg(mode),
           double(paintCounter.paints - paintsBefore) / frameCount, QStringLiteral("paints"));
    return true;
}

bool benchText(ReceiveProbe &probe, const QString &mode, bool lineBreaks, int megabytes)
{
    const std::unique_ptr<TestSupport::PtyConsole> console = shownConsole(probe);
    if (!serialPortInst->isOpen())
        return false;

    const qsizetype chunks = megabytes * megabyte / textChunkSize;
    const qsizetype chunksPerMegabyte = megabyte / textChunkSize;
    double wholeUs[2] = {};
    double slotUs[2] = {};
    QElapsedTimer clock;
    qint64 slotBefore = 0;
    for (qsizetype index = 0; index < chunks; ++index) {
        const bool firstMegabyte = index < chunksPerMegabyte;
        const bool lastMegabyte = index >= chunks - chunksPerMegabyte;
        if (index == 0 || index == chunks - chunksPerMegabyte) {
            slotBefore = probe.slotNanoseconds;
            clock.start();
        }
        if (!probe.boardSends(*console, textChunk(index, lineBreaks)))
            return false;
        if ((firstMegabyte && index == chunksPerMegabyte - 1) || (lastMegabyte && index == chunks - 1)) {
            QCoreApplication::processEvents();
            const int part = firstMegabyte ? 0 : 1;
            wholeUs[part] = clock.nsecsElapsed() / 1e3 / chunksPerMegabyte;
            slotUs[part] = (probe.slotNanoseconds - slotBefore) / 1e3 / chunksPerMegabyte;
        }
    }

    const QString kind = QStringLiteral("%1, %2").arg(mode, lineBreaks ? QStringLiteral("line breaks")
                                                                         : QStringLiteral("no line breaks"));
    const auto againstFirstMegabyte = [](double first, double last) {
        return QStringLiteral("ratio %1 of first MB, bound %2")
            .arg(last / first, 0, 'f', 2)
            .arg(lastToFirstMegabyteBound, 0, 'f', 1);
    };
    report(QStringLiteral("text_chunk_us_first_mb (%1)").arg(kind), wholeUs[0], QStringLiteral("us"));
    report(QStringLiteral("text_chunk_us_last_mb (%1)").arg(kind), wholeUs[1], QStringLiteral("us"),
           againstFirstMegabyte(wholeUs[0], wholeUs[1]));
    report(QStringLiteral("text_chunk_slot_us_first_mb (%1)").arg(kind), slotUs[0], QStringLiteral("us"));
    report(QStringLiteral("text_chunk_slot_us_last_mb (%1)").arg(kind), slotUs[1], QStringLiteral("us"),
           againstFirstMegabyte(slotUs[0], slotUs[1]));
    return true;
}

// With recording, the frames also go to a CSV file whose rows are counted after.
bool benchStreamedFrames(ReceiveProbe &probe, const QString &mode, bool recording, double *takenInSeconds)
{
    const std::unique_ptr<TestSupport::PtyConsole> console = shownConsole(probe);
    if (!serialPortInst->isOpen())
        return false;
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("frames.csv"));
    console->window().setSaveFileChooser([&csvPath](QWidget *, const QString &, const QString &) { return csvPath; });
    auto *recordAction = console->window().findChild<QAction *>(QStringLiteral("action_record_telemetry"));
    const QString label = recording ? mode + QStringLiteral(", recording") : mode;

    // The curves of a new window show the process-wide count from its first redraw on.
    if (!probe.boardSends(*console, TestSupport::numberedFrame(0))
        || !TestSupport::processEventsUntil([] { return TestSupport::framesPlotted() > 0; }))
        return false;
    const qint64 frames = qint64(streamedFramesPerSecond) * streamedSeconds;
    const qint64 plottedBefore = TestSupport::framesPlotted();
    if (recording)
        recordAction->trigger();
    // Bounds each wait for events, so the loop looks at the writer in time.
    QTimer tick;
    tick.start(10);
    QElapsedTimer clock;
    clock.start();
    double sendSeconds = 0;
    {
        PacedWriter writer(console->board(), frames, std::chrono::nanoseconds(1000000000 / streamedFramesPerSecond),
                           [](qint64 index) { return TestSupport::numberedFrame(int(index % 100000)); });
        while (!writer.finished)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        sendSeconds = clock.nsecsElapsed() / 1e9;
    }
    const QDeadlineTimer drain(3000);
    while (TestSupport::framesPlotted() - plottedBefore < frames && !drain.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);

    *takenInSeconds = clock.nsecsElapsed() / 1e9;
    const qint64 plotted = TestSupport::framesPlotted() - plottedBefore;
    report(QStringLiteral("streamed_frames_time (%1)").arg(label), *takenInSeconds, QStringLiteral("s"),
           QStringLiteral("until the last frame was plotted"));
    if (recording) {
        recordAction->trigger();
        QFile file(csvPath);
        // Lines past the header.
        const qint64 rows = file.open(QIODevice::ReadOnly) ? qint64(file.readAll().count('\n')) - 1 : 0;
        report(QStringLiteral("streamed_frames_recorded (%1)").arg(mode), double(rows) / frames, QStringLiteral("of sent"),
               QStringLiteral("%1 rows for %2 frames sent, goal 1.0").arg(rows).arg(frames));
    }
    report(QStringLiteral("streamed_frames_plotted (%1)").arg(label), double(plotted), QStringLiteral("frames"),
           QStringLiteral("of %1 sent in %2 s at %3 frames/s, share %4, goal %5")
               .arg(frames)
               .arg(sendSeconds, 0, 'f', 2)
               .arg(frames / sendSeconds, 0, 'f', 0)
               .arg(double(plotted) / frames, 0, 'f', 4)
               .arg(plottedShareGoal, 0, 'f', 3));
    return true;
}

bool benchStreamedText(ReceiveProbe &probe, const QString &mode)
{
    const std::unique_ptr<TestSupport::PtyConsole> console = shownConsole(probe);
    if (!serialPortInst->isOpen())
        return false;

    // A write every 10 ms, as a board's UART driver would hand them over.
    constexpr qint64 writesPerSecond = 100;
    constexpr qint64 bytesPerWrite = lineBytesPerSecond / writesPerSecond;
    constexpr qint64 writes = (streamedTextBytes + bytesPerWrite - 1) / bytesPerWrite;
    const qint64 total = writes * bytesPerWrite;
    const double wireSeconds = double(total) / lineBytesPerSecond;
    const qint64 receivedBefore = probe.receivedBytes;

    // Bytes written but not yet taken in, largest in each quarter of the wire time.
    qint64 backlog[4] = {};
    QTimer tick;
    tick.start(10);
    QElapsedTimer clock;
    clock.start();
    {
        PacedWriter writer(console->board(), writes, std::chrono::milliseconds(1000 / writesPerSecond),
                           [](qint64 index) {
                               QByteArray bytes(bytesPerWrite, ' ');
                               for (qsizetype i = 0; i < bytes.size(); ++i) {
                                   const qint64 at = index * bytesPerWrite + i;
                                   bytes[i] = at % 64 == 63 ? '\n' : char('!' + at % 90);
                               }
                               return bytes;
                           });
        while (!writer.finished || probe.receivedBytes - receivedBefore < total) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            const int quarter = std::min(3, int(clock.elapsed() / 1000.0 / wireSeconds * 4));
            backlog[quarter] = std::max(backlog[quarter], writer.written - (probe.receivedBytes - receivedBefore));
            if (clock.elapsed() > 4 * wireSeconds * 1000)
                return false;
        }
    }
    const double shownSeconds = clock.nsecsElapsed() / 1e9;

    report(QStringLiteral("streamed_text_time (%1)").arg(mode), shownSeconds, QStringLiteral("s"),
           QStringLiteral("%1 bytes, wire time %2 s, ratio %3, bound %4")
               .arg(total)
               .arg(wireSeconds, 0, 'f', 2)
               .arg(shownSeconds / wireSeconds, 0, 'f', 3)
               .arg(textTimeBound, 0, 'f', 2));
    report(QStringLiteral("streamed_text_backlog_max (%1)").arg(mode), double(*std::max_element(backlog, backlog + 4)),
           QStringLiteral("bytes"),
           QStringLiteral("by quarter %1, %2, %3, %4").arg(backlog[0]).arg(backlog[1]).arg(backlog[2]).arg(backlog[3]));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(BenchSupport::dropDebugMessages);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cost of telemetry frames and board text on the receive path."));
    parser.addHelpOption();
    const QCommandLineOption framesOption(QStringLiteral("frames"), QStringLiteral("Frames to measure."),
                                          QStringLiteral("count"), QString::number(defaultFrameCount));
    const QCommandLineOption textOption(QStringLiteral("text-mb"), QStringLiteral("Megabytes of board text, at least 2."),
                                        QStringLiteral("megabytes"), QString::number(defaultTextMegabytes));
    parser.addOption(framesOption);
    parser.addOption(textOption);
    parser.process(app);
    const int frameCount = std::max(1, parser.value(framesOption).toInt());
    const int textMegabytes = std::max(2, parser.value(textOption).toInt());

    ReceiveProbe probe;
    // The drawing path is fixed when the chart is built; a first window tells which.
    const QString mode = [&probe] {
        const TestSupport::PtyConsole console(false);
        return chartLineSeries[0]->useOpenGL() ? QStringLiteral("opengl") : QStringLiteral("raster");
    }();
    std::printf("bench_receive: platform %s, chart drawing %s\n", qPrintable(QGuiApplication::platformName()),
                qPrintable(mode));

    if (!benchFrames(probe, mode, frameCount)) {
        std::fprintf(stderr, "bench_receive: telemetry frames did not get through\n");
        return 1;
    }
    for (const bool lineBreaks : { false, true }) {
        if (!benchText(probe, mode, lineBreaks, textMegabytes)) {
            std::fprintf(stderr, "bench_receive: board text did not get through\n");
            return 1;
        }
    }
    double plainSeconds = 0;
    double recordingSeconds = 0;
    if (!benchStreamedFrames(probe, mode, false, &plainSeconds)
        || !benchStreamedFrames(probe, mode, true, &recordingSeconds)) {
        std::fprintf(stderr, "bench_receive: streamed frames did not get through\n");
        return 1;
    }
    report(QStringLiteral("streamed_frames_recording_cost (%1)").arg(mode), recordingSeconds / plainSeconds,
           QStringLiteral("x"), QStringLiteral("time with recording over time without, goal <= 1.10"));
    if (!benchStreamedText(probe, mode)) {
        std::fprintf(stderr, "bench_receive: streamed board text fell behind\n");
        return 1;
    }
    return 0;
}
