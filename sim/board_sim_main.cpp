// board-sim: a stand-in for the bench board on the far end of the serial line,
// so that the console can be exercised without the hardware.

#include "boardlink.h"
#include "boardsimulator.h"
#include "capturereplay.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <limits>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

// What the command line asked of the board, with every number checked.
struct BoardSimOptions
{
    std::optional<QString> device; // none for a new pty pair
    BoardSimulator::Settings board;
    bool plot = false;
    QString replayPath; // a capture to send instead of being the board
    int replayRate = CaptureReplay::lineBytesPerSecond;
    bool showTelemetry = false;
    bool quiet = false;

    // --help, --version and unknown options end the process inside, as
    // QCommandLineParser does; any other fault leaves its message in error.
    static BoardSimOptions parse(const QCoreApplication &app, QString *error);

    bool prints(BoardSimulator::LineKind kind) const;
};

bool parseCount(const QCommandLineParser &parser, const QCommandLineOption &option, int minimum, int maximum,
                int *value, QString *error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int parsed = parser.value(option).toInt(&ok);
    if (!ok || parsed < minimum || parsed > maximum) {
        QTextStream(error) << "board-sim: --" << option.names().constFirst() << " needs a whole number from "
                           << minimum << " to " << maximum << ", not \"" << parser.value(option) << "\"\n";
        return false;
    }
    *value = parsed;
    return true;
}

BoardSimOptions BoardSimOptions::parse(const QCoreApplication &app, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Simulated bench board for the console.\n"
            "\n"
            "Opens a pty pair (or the serial device given with --device), prints the port to\n"
            "connect the console to, and prints one line per frame the console sends: time,\n"
            "direction (<- from the console, -> to it), the bytes in hex, and what they mean.\n"
            "Bytes that start no known frame are reported and skipped. Runs until Ctrl-C\n"
            "(a --replay ends by itself).\n"
            "\n"
            "The board answers reset, erase, jump, GPU rail, fan and register commands with a\n"
            "line of ASCII text, and streams telemetry frames while plotting is on: the 12V and\n"
            "total readings rise with the rail, with an inrush of about twice the 12V rail's\n"
            "settled power that is over within 200 ms, the 5V reading with the fan speed.\n"
            "\n"
            "Update packets are assembled into an image, with gaps, overlaps and packets out\n"
            "of order reported. The image is finished when no packet came for --idle-ms, on a\n"
            "jump-to-app command, or at exit; then its size and CRC-32 (zlib/IEEE) are printed\n"
            "and, with --image-out, it is written to a file. The board cannot know the true\n"
            "length, as the last packet is padded with FF: the image ends with the packet of\n"
            "the highest offset, minus that packet's trailing FF bytes. An image that really\n"
            "ends in FF bytes is therefore reported shorter than its file, and the CRC-32 is\n"
            "over that shorter image. Bytes no packet covered read as FF.\n"
            "\n"
            "With --replay the board is a recording instead: the bytes of a raw capture of\n"
            "what a board sent go out at the line's rate (92160 bytes/s, 921600 baud 8N1)\n"
            "in small writes, starting at once; a console that does not read holds the\n"
            "replay up, nothing is dropped. What the console sends is read and ignored.\n"
            "board-sim exits 0 once the console has taken the last byte, 2 if the file\n"
            "cannot be read (then nothing is sent), 1 if the replay is cut short."));
    parser.addHelpOption();
    parser.addVersionOption();

    const QCommandLineOption deviceOption(QStringLiteral("device"),
            QStringLiteral("Use the serial device at <path> (opened raw at 921600 8N1) instead of a new pty pair."),
            QStringLiteral("path"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
            QStringLiteral("Telemetry frames per second while plotting is on (1 to 1000, default 50)."),
            QStringLiteral("n"), QStringLiteral("50"));
    const QCommandLineOption plotOption(QStringLiteral("plot"),
            QStringLiteral("Stream telemetry from the start, without waiting for the plotting-on command."));
    const QCommandLineOption noiseOption(QStringLiteral("noise"),
            QStringLiteral("Noise on each telemetry reading, +/- <n> raw units (0 to 20, default 2)."),
            QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
            QStringLiteral("Seed of the random generator behind the noise and the split points (default 1), so a run can be repeated."),
            QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption splitOption(QStringLiteral("split"),
            QStringLiteral("Cut every write in two, as a driver delivering a frame in two pieces does."));
    const QCommandLineOption splitAtOption(QStringLiteral("split-at"),
            QStringLiteral("With --split, cut after <n> bytes (0, the default, cuts at a random point)."),
            QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption splitDelayOption(QStringLiteral("split-delay-ms"),
            QStringLiteral("With --split, milliseconds between the two pieces (default 5), or less when the next write comes sooner."),
            QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption mergeOption(QStringLiteral("merge"),
            QStringLiteral("Send <n> frames or text answers together in one write (default 1)."),
            QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption mergeWindowOption(QStringLiteral("merge-window-ms"),
            QStringLiteral("With --merge, write what has gathered after at most <n> ms even if fewer than --merge asks for (default 500)."),
            QStringLiteral("n"), QStringLiteral("500"));
    const QCommandLineOption imageOutOption(QStringLiteral("image-out"),
            QStringLiteral("Write each finished image to <file>, replacing it."),
            QStringLiteral("file"));
    const QCommandLineOption idleOption(QStringLiteral("idle-ms"),
            QStringLiteral("Milliseconds without an update packet after which the image is finished, and after which "
                           "an incomplete frame is reported and dropped (default 500)."),
            QStringLiteral("n"), QStringLiteral("500"));
    const QCommandLineOption replayOption(QStringLiteral("replay"),
            QStringLiteral("Send the bytes of <file>, a raw capture of what a board sent, then exit."),
            QStringLiteral("file"));
    const QCommandLineOption replayRateOption(QStringLiteral("replay-rate"),
            QStringLiteral("With --replay, bytes per second (default 92160, the line's rate)."),
            QStringLiteral("n"), QString::number(CaptureReplay::lineBytesPerSecond));
    const QCommandLineOption noTextOption(QStringLiteral("no-text"),
            QStringLiteral("Send no text answers, only telemetry."));
    const QCommandLineOption showTelemetryOption(QStringLiteral("show-telemetry"),
            QStringLiteral("Also print a line for every telemetry frame sent."));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
            QStringLiteral("Print only the port, problems (skipped bytes, gaps, overlaps) and finished images."));
    parser.addOptions({ deviceOption, rateOption, plotOption, noiseOption, seedOption, splitOption, splitAtOption,
                        splitDelayOption, mergeOption, mergeWindowOption, imageOutOption, idleOption, replayOption,
                        replayRateOption, noTextOption,
                        showTelemetryOption, quietOption });
    parser.process(app);

    BoardSimOptions options;
    if (!parser.positionalArguments().isEmpty()) {
        QTextStream(error) << "board-sim: unexpected argument \"" << parser.positionalArguments().constFirst()
                           << "\"\nUsage: board-sim [options]; board-sim --help lists them\n";
        return options;
    }
    constexpr int unbounded = std::numeric_limits<int>::max();
    BoardSimulator::Settings &board = options.board;
    int seed = int(board.seed);
    if (!parseCount(parser, rateOption, 1, 1000, &board.telemetryRate, error)
        || !parseCount(parser, noiseOption, 0, 20, &board.noiseAmplitude, error)
        || !parseCount(parser, seedOption, 0, unbounded, &seed, error)
        || !parseCount(parser, splitAtOption, 0, unbounded, &board.writes.splitPoint, error)
        || !parseCount(parser, splitDelayOption, 0, unbounded, &board.writes.splitDelayMs, error)
        || !parseCount(parser, mergeOption, 1, unbounded, &board.writes.mergeCount, error)
        || !parseCount(parser, mergeWindowOption, 1, unbounded, &board.writes.mergeWindowMs, error)
        || !parseCount(parser, idleOption, 1, unbounded, &board.idleTimeoutMs, error)
        || !parseCount(parser, replayRateOption, 1, unbounded, &options.replayRate, error))
        return options;
    board.seed = quint32(seed);

    if (parser.isSet(deviceOption))
        options.device = parser.value(deviceOption);
    options.plot = parser.isSet(plotOption);
    options.replayPath = parser.value(replayOption);
    board.writes.splitWrites = parser.isSet(splitOption);
    board.imageOutputPath = parser.value(imageOutOption);
    board.textAnswers = !parser.isSet(noTextOption);
    options.showTelemetry = parser.isSet(showTelemetryOption);
    options.quiet = parser.isSet(quietOption);
    return options;
}

bool BoardSimOptions::prints(BoardSimulator::LineKind kind) const
{
    if (kind == BoardSimulator::LineKind::Telemetry)
        return showTelemetry && !quiet;
    return !quiet || kind == BoardSimulator::LineKind::Problem || kind == BoardSimulator::LineKind::Image;
}

// Ctrl-C and SIGTERM end the event loop, so that the image in progress is still
// finished and reported on the way out.
bool quitOnTerminationSignal(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    auto *signalNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, onTerminationSignal);
    std::signal(SIGTERM, onTerminationSignal);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("board-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QString error;
    const BoardSimOptions options = BoardSimOptions::parse(app, &error);
    if (!error.isEmpty()) {
        QTextStream(stderr) << error;
        return 2;
    }

    BoardLink link;
    // The capture is opened before the line, so that a file that cannot be read
    // sends nothing.
    CaptureReplay replay(&link);
    const bool replaying = !options.replayPath.isEmpty();
    if (replaying && !replay.open(options.replayPath)) {
        QTextStream(stderr) << "board-sim: --replay: " << replay.errorString() << Qt::endl;
        return 2;
    }

    BoardSimulator simulator(options.board);
    QTextStream out(stdout);
    QObject::connect(&simulator, &BoardSimulator::lineLogged, &app,
                     [&out, &options](const QString &line, BoardSimulator::LineKind kind) {
                         if (options.prints(kind))
                             out << line << Qt::endl;
                     });

    const bool opened = options.device ? link.openDevice(*options.device) : link.openPty();
    if (!opened) {
        QTextStream(stderr) << "board-sim: " << link.errorString() << Qt::endl;
        return 1;
    }
    // A replay is the recording alone: no answers or telemetry of the board's own
    // come between its bytes.
    if (!replaying)
        link.attach(&simulator);
    int exitCode = 0;
    QObject::connect(&link, &BoardLink::disconnected, &app, [&out, &exitCode](const QString &reason) {
        out << "board-sim: " << reason << Qt::endl;
        exitCode = 1;
        QCoreApplication::quit();
    });
    QObject::connect(&link, &BoardLink::bytesDropped, &app, [&out, &link](qint64 count) {
        // One line per thousand writes or so, not one per telemetry frame.
        if (link.droppedBytes() == count || link.droppedBytes() / 10000 != (link.droppedBytes() - count) / 10000)
            out << "board-sim: the console is not reading, " << link.droppedBytes() << " bytes dropped so far" << Qt::endl;
    });
    bool replayDone = false;
    QObject::connect(&replay, &CaptureReplay::finished, &app, [&out, &replay, &replayDone] {
        replayDone = true;
        out << "board-sim: replay done, " << replay.bytesSent() << " bytes sent" << Qt::endl;
        QCoreApplication::quit();
    });
    QObject::connect(&replay, &CaptureReplay::failed, &app, [&exitCode](const QString &reason) {
        QTextStream(stderr) << "board-sim: --replay: " << reason << Qt::endl;
        exitCode = 1;
        QCoreApplication::quit();
    });
    if (!quitOnTerminationSignal(app)) {
        QTextStream(stderr) << "board-sim: cannot set up Ctrl-C handling" << Qt::endl;
        return 1;
    }

    out << (options.device ? "Board on " : "Board on pty, connect the console to ") << link.portName()
        << Qt::endl;
    if (replaying)
        replay.start(options.replayRate);
    else if (options.plot)
        simulator.setPlotting(true);

    const int loopResult = app.exec();
    if (replaying) {
        if (exitCode == 0 && !replayDone) {
            QTextStream(stderr) << "board-sim: replay stopped after " << replay.bytesSent() << " of "
                                << replay.size() << " bytes sent, " << link.undeliveredBytes()
                                << " of them not taken by the console" << Qt::endl;
            exitCode = 1;
        }
        return loopResult != 0 ? loopResult : exitCode;
    }
    simulator.finishImage();
    simulator.flush();
    return loopResult != 0 ? loopResult : exitCode;
}
