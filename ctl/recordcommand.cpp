#include "boardport.h"
#include "boardreceiver.h"
#include "commands.h"
#include "platform.h"

#include "core/boardcommand.h"
#include "core/consoletext.h"
#include "core/telemetrycsv.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QCommandLineOption portOption(QStringList { QStringLiteral("p"), QStringLiteral("port") },
                                    QStringLiteral("The board's port: a listed name or a device path."),
                                    QStringLiteral("PORT"));

// The curves' names, as the CSV header gives them after its first three columns.
QStringList seriesNames()
{
    return QString::fromUtf8(TelemetryCsv::header().trimmed()).split(u',').mid(3);
}

// Lowest, highest and mean of each curve over a recording.
struct SeriesStatistics
{
    std::array<double, Telemetry::seriesCount> minimum;
    std::array<double, Telemetry::seriesCount> maximum;
    std::array<double, Telemetry::seriesCount> sum {};
    qint64 count = 0;

    SeriesStatistics()
    {
        minimum.fill(std::numeric_limits<double>::infinity());
        maximum.fill(-std::numeric_limits<double>::infinity());
    }

    void add(const Telemetry::Sample &values)
    {
        for (int i = 0; i < Telemetry::seriesCount; ++i) {
            minimum[size_t(i)] = std::min(minimum[size_t(i)], values[size_t(i)]);
            maximum[size_t(i)] = std::max(maximum[size_t(i)], values[size_t(i)]);
            sum[size_t(i)] += values[size_t(i)];
        }
        ++count;
    }

    QJsonObject json(const std::array<double, Telemetry::seriesCount> &values) const
    {
        QJsonObject object;
        const QStringList names = seriesNames();
        for (int i = 0; i < Telemetry::seriesCount; ++i)
            object.insert(names.at(i), values[size_t(i)]);
        return object;
    }

    std::array<double, Telemetry::seriesCount> mean() const
    {
        std::array<double, Telemetry::seriesCount> values {};
        for (int i = 0; i < Telemetry::seriesCount; ++i)
            values[size_t(i)] = sum[size_t(i)] / double(count);
        return values;
    }
};

QString readout(const Telemetry::Sample &values, qint64 frames)
{
    const QStringList names = seriesNames();
    QStringList parts;
    for (int i = 0; i < Telemetry::seriesCount; ++i)
        parts.append(names.at(i) + u' ' + QString::fromLatin1(TelemetryCsv::number(values[size_t(i)])));
    return parts.join(QStringLiteral(" | ")) + QStringLiteral(" | %1 frames").arg(frames);
}

QJsonObject sampleJson(const Telemetry::Sample &values)
{
    QJsonObject object;
    const QStringList names = seriesNames();
    for (int i = 0; i < Telemetry::seriesCount; ++i)
        object.insert(names.at(i), values[size_t(i)]);
    return object;
}

// Exactly one -p, usable, and open; the exit code when not.
std::optional<int> openSinglePort(const Invocation &invocation, const QCommandLineParser &parser,
                                  const Output &output, BoardPort **port)
{
    const QStringList ports = parser.values(portOption);
    if (ports.size() != 1)
        return usageError(invocation, QStringLiteral("give one port with -p"));
    if (const QString problem = BoardPort::checkArguments(ports); !problem.isEmpty())
        return usageError(invocation, problem);
    *port = new BoardPort(ports.first());
    if (!(*port)->open()) {
        output.problem(QStringLiteral("%1: %2").arg((*port)->name(), (*port)->openFailure()));
        return ExitOpenFailure;
    }
    output.event(QStringLiteral("opened"), { { QStringLiteral("port"), (*port)->name() } });
    return std::nullopt;
}

} // namespace

int runRecord(const Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records the board's telemetry as the console's CSV: one row per frame, in arrival order. "
        "Board text goes to standard error, or to --text FILE. Without --seconds or --frames, "
        "records until Ctrl-C."));
    parser.addOption(portOption);
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Stop after S seconds."),
                                           QStringLiteral("S"));
    const QCommandLineOption framesOption(QStringLiteral("frames"), QStringLiteral("Stop after N frames."),
                                          QStringLiteral("N"));
    const QCommandLineOption outputOption(QStringList { QStringLiteral("o"), QStringLiteral("output") },
                                          QStringLiteral("The CSV file, or - for standard output (the default)."),
                                          QStringLiteral("FILE"), QStringLiteral("-"));
    const QCommandLineOption textOption(QStringLiteral("text"), QStringLiteral("Write board text to FILE."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption plotOption(QStringLiteral("plot"),
                                        QStringLiteral("Send plotting on first and plotting off at the end."));
    parser.addOptions({ secondsOption, framesOption, outputOption, textOption, plotOption });
    if (const std::optional<int> done = parseCommandLine(parser, invocation))
        return *done;
    Output output = outputFor(parser, invocation);
    if (!parser.positionalArguments().isEmpty())
        return usageError(invocation, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    double seconds = 0;
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        seconds = parser.value(secondsOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 1e6)
            return usageError(invocation, QStringLiteral("--seconds: '%1' is not a positive number").arg(parser.value(secondsOption)));
    }
    qint64 frameLimit = 0;
    if (parser.isSet(framesOption)) {
        bool ok = false;
        frameLimit = parser.value(framesOption).toLongLong(&ok);
        if (!ok || frameLimit <= 0)
            return usageError(invocation, QStringLiteral("--frames: '%1' is not a positive whole number").arg(parser.value(framesOption)));
    }

    const QString csvPath = parser.value(outputOption);
    QFile csv;
    if (csvPath == QLatin1String("-")) {
        output.setStandardOutputCarriesData(true);
        csv.open(stdout, QIODevice::WriteOnly);
    } else {
        csv.setFileName(csvPath);
        if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return usageError(invocation, QStringLiteral("cannot create %1: %2").arg(csvPath, csv.errorString()));
    }
    QFile text;
    if (parser.isSet(textOption)) {
        text.setFileName(parser.value(textOption));
        if (!text.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return usageError(invocation, QStringLiteral("cannot create %1: %2").arg(text.fileName(), text.errorString()));
    } else {
        text.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    BoardPort *openedPort = nullptr;
    const std::optional<int> openFailure = openSinglePort(invocation, parser, output, &openedPort);
    const std::unique_ptr<BoardPort> port(openedPort);
    if (openFailure)
        return *openFailure;

    QString failure;
    const bool plot = parser.isSet(plotOption);
    if (plot)
        failure = port->send(BoardCommand::parse(QStringLiteral("plot"), { QStringLiteral("on") }).bytes);

    InterruptWatch interruptWatch;
    QEventLoop loop;
    BoardReceiver receiver(port.get());
    SeriesStatistics statistics;
    QElapsedTimer clock;
    bool interrupted = false;
    bool ended = false;
    const auto end = [&](const QString &why) {
        if (ended)
            return;
        ended = true;
        if (failure.isEmpty())
            failure = why;
        receiver.stop();
        loop.quit();
    };

    if (csv.write(TelemetryCsv::header()) < 0)
        failure = QStringLiteral("cannot write %1: %2").arg(csvPath, csv.errorString());
    clock.start();
    QObject::connect(&receiver, &BoardReceiver::frameReceived, &loop,
                     [&](const Telemetry::Sample &values, const QDateTime &receivedAt) {
        if (csv.write(TelemetryCsv::row(receivedAt, clock.nsecsElapsed() / 1000, statistics.count, values)) < 0) {
            end(QStringLiteral("cannot write %1: %2").arg(csvPath, csv.errorString()));
            return;
        }
        statistics.add(values);
        if (frameLimit > 0 && statistics.count == frameLimit)
            end({});
    });
    QObject::connect(&receiver, &BoardReceiver::textReceived, &loop, [&text](const QString &received) {
        text.write(received.toLocal8Bit());
    });
    QObject::connect(port.get(), &BoardPort::lost, &loop, [&end] { end(ConsoleText::portLost()); });
    QObject::connect(&interruptWatch, &InterruptWatch::interrupted, &loop, [&] {
        interrupted = true;
        end({});
    });
    QTimer flushTimer;
    QObject::connect(&flushTimer, &QTimer::timeout, &loop, [&csv, &text] {
        csv.flush();
        text.flush();
    });
    flushTimer.start(1000);
    QTimer limitTimer;
    limitTimer.setSingleShot(true);
    limitTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limitTimer, &QTimer::timeout, &loop, [&end] { end({}); });
    if (seconds > 0)
        limitTimer.start(int(std::ceil(seconds * 1000)));

    if (failure.isEmpty())
        loop.exec();
    const double recordedSeconds = double(clock.nsecsElapsed()) / 1e9;
    receiver.stop();
    if (plot && port->session().isOpen()) {
        const QString offFailure = port->send(BoardCommand::parse(QStringLiteral("plot"), { QStringLiteral("off") }).bytes);
        if (failure.isEmpty())
            failure = offFailure;
    }
    port->close();
    if (!csv.flush() && failure.isEmpty())
        failure = QStringLiteral("cannot write %1: %2").arg(csvPath, csv.errorString());
    csv.close();
    text.close();

    const bool limitMissed = interrupted && (frameLimit > 0 || seconds > 0);
    if (failure.isEmpty() && statistics.count == 0)
        failure = QStringLiteral("no telemetry frame arrived");
    else if (failure.isEmpty() && limitMissed)
        failure = QStringLiteral("interrupted before the end of the recording");
    const int exitCode = failure.isEmpty() ? ExitSuccess : ExitLineFailure;
    if (!failure.isEmpty())
        output.problem(QStringLiteral("%1: %2").arg(port->name(), failure));
    output.info(QStringLiteral("%1: recorded %2 frames in %3 s to %4")
                    .arg(port->name()).arg(statistics.count).arg(recordedSeconds, 0, 'f', 2)
                    .arg(csvPath == QLatin1String("-") ? QStringLiteral("standard output") : csvPath));
    QJsonObject summary {
        { QStringLiteral("command"), QStringLiteral("record") },
        { QStringLiteral("port"), port->name() },
        { QStringLiteral("file"), csvPath },
        { QStringLiteral("frames"), statistics.count },
        { QStringLiteral("seconds"), recordedSeconds },
        { QStringLiteral("interrupted"), interrupted },
        { QStringLiteral("exit_code"), exitCode },
    };
    if (statistics.count > 0) {
        summary.insert(QStringLiteral("min"), statistics.json(statistics.minimum));
        summary.insert(QStringLiteral("max"), statistics.json(statistics.maximum));
        summary.insert(QStringLiteral("mean"), statistics.json(statistics.mean()));
    }
    output.event(QStringLiteral("summary"), summary);
    return exitCode;
}

int runMonitor(const Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the board's text on standard output and, on a terminal, a live line with the latest "
        "readings, until Ctrl-C. With --json: one \"text\" or \"telemetry\" event each."));
    parser.addOption(portOption);
    if (const std::optional<int> done = parseCommandLine(parser, invocation))
        return *done;
    const Output output = outputFor(parser, invocation);
    if (!parser.positionalArguments().isEmpty())
        return usageError(invocation, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    BoardPort *openedPort = nullptr;
    const std::optional<int> openFailure = openSinglePort(invocation, parser, output, &openedPort);
    const std::unique_ptr<BoardPort> port(openedPort);
    if (openFailure)
        return *openFailure;

    InterruptWatch interruptWatch;
    QEventLoop loop;
    BoardReceiver receiver(port.get());
    const bool liveLine = !output.json() && !output.quiet() && Platform::isTerminal(stdout);
    Telemetry::Sample latest {};
    qint64 frames = 0;
    bool readoutChanged = false;
    // Board text is written a whole line at a time, above the readout.
    QString partialLine;
    QString failure;

    QObject::connect(&receiver, &BoardReceiver::frameReceived, &loop,
                     [&](const Telemetry::Sample &values, const QDateTime &) {
        latest = values;
        ++frames;
        readoutChanged = true;
        output.event(QStringLiteral("telemetry"), {
            { QStringLiteral("sample"), frames - 1 },
            { QStringLiteral("values"), sampleJson(values) },
        });
    });
    QObject::connect(&receiver, &BoardReceiver::textReceived, &loop, [&](const QString &received) {
        if (output.json()) {
            output.event(QStringLiteral("text"), { { QStringLiteral("text"), received } });
            return;
        }
        if (!liveLine) {
            Output::write(stdout, received);
            return;
        }
        partialLine += received;
        const qsizetype lineEnd = partialLine.lastIndexOf(u'\n');
        if (lineEnd < 0)
            return;
        Output::write(stdout, QStringLiteral("\r\x1b[2K") + partialLine.left(lineEnd + 1)
                          + (frames > 0 ? readout(latest, frames) : QString()));
        partialLine.remove(0, lineEnd + 1);
    });
    QTimer readoutTimer;
    QObject::connect(&readoutTimer, &QTimer::timeout, &loop, [&] {
        if (liveLine && readoutChanged)
            Output::write(stdout, QStringLiteral("\r\x1b[2K") + readout(latest, frames));
        readoutChanged = false;
    });
    readoutTimer.start(100);
    QObject::connect(port.get(), &BoardPort::lost, &loop, [&] {
        failure = ConsoleText::portLost();
        loop.quit();
    });
    QObject::connect(&interruptWatch, &InterruptWatch::interrupted, &loop, &QEventLoop::quit);
    loop.exec();
    receiver.stop();
    port->close();

    if (liveLine)
        Output::write(stdout, QStringLiteral("\r\x1b[2K") + partialLine + (frames > 0 ? u'\n' + readout(latest, frames) : QString()) + u'\n');
    if (!failure.isEmpty())
        output.problem(QStringLiteral("%1: %2").arg(port->name(), failure));
    const int exitCode = failure.isEmpty() ? ExitSuccess : ExitLineFailure;
    output.event(QStringLiteral("summary"), {
        { QStringLiteral("command"), QStringLiteral("monitor") },
        { QStringLiteral("port"), port->name() },
        { QStringLiteral("frames"), frames },
        { QStringLiteral("exit_code"), exitCode },
    });
    return exitCode;
}
