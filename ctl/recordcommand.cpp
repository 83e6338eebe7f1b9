#include "boardport.h"
#include "boardpublishers.h"
#include "commandline.h"
#include "platform.h"
#include "seriesstatistics.h"

#include "core/recordingfile.h"
#include "core/telemetrycsv.h"

#include <QTimer>

namespace {

const QString standardStream = QStringLiteral("-");
constexpr int readoutIntervalMs = 100;
const QString clearLine = QStringLiteral("\r\x1b[2K");

struct RecordOptions
{
    RunLength length;
    QString csvPath;
    QString textPath; // board text goes to standard error when empty
    QString csvName;  // as the lines name them
    QString textName;
    bool plot = false;
    MqttOptions mqtt;

    std::optional<int> parse(CommandLine &commandLine)
    {
        QCommandLineParser &parser = commandLine.parser();
        RunLength::addOptions(parser);
        parser.addOptions({
            { { QStringLiteral("o"), QStringLiteral("output") }, QStringLiteral("The CSV file, or - for standard output (the default)."),
              QStringLiteral("FILE"), standardStream },
            { QStringLiteral("text"), QStringLiteral("Write board text to FILE."), QStringLiteral("FILE") },
            { QStringLiteral("plot"), QStringLiteral("Send plotting on first and plotting off at the end.") },
        });
        MqttOptions::addOptions(parser);
        if (const std::optional<int> done = commandLine.parse())
            return done;
        if (const std::optional<int> wrong = length.read(commandLine))
            return wrong;
        if (const std::optional<int> wrong = mqtt.read(commandLine, commandLine.ports()))
            return wrong;
        csvPath = parser.value(QStringLiteral("output"));
        textPath = parser.value(QStringLiteral("text"));
        csvName = csvPath == standardStream ? QStringLiteral("standard output") : csvPath;
        textName = textPath.isEmpty() ? QStringLiteral("standard error") : textPath;
        plot = parser.isSet(QStringLiteral("plot"));
        commandLine.output().setStandardOutputCarriesData(csvPath == standardStream);
        for (const QString &path : { csvPath == standardStream ? QString() : csvPath, textPath }) {
            if (const QString problem = checkWritable(path); !problem.isEmpty())
                return commandLine.usageError(problem);
        }
        if (csvPath != standardStream && !textPath.isEmpty() && fileIdentity(csvPath) == fileIdentity(textPath))
            return commandLine.usageError(QStringLiteral("%1 is given twice: rows and board text go to files of their own").arg(textPath));
        return std::nullopt;
    }
};

// One recording, from the open port to the summary. The files are made only once
// the port is open, so a recording that cannot start leaves every file as it was.
class RecordSession
{
public:
    RecordSession(CommandLine &commandLine, const RecordOptions &options, BoardPublishers &publishers)
        : m_commandLine(commandLine), m_output(commandLine.output()), m_options(options), m_publishers(publishers)
    {
    }

    int run()
    {
        m_port = BoardPort::openOrExplain(m_commandLine.ports().constFirst(), m_output);
        if (!m_port)
            return ExitOpenFailure;
        m_publishers.attach(*m_port);
        if (const QString problem = startFiles(); !problem.isEmpty()) {
            m_port->close();
            return m_commandLine.usageError(problem);
        }
        m_output.event(QStringLiteral("opened"), { { QStringLiteral("port"), m_port->name() } });
        listen();
        if (m_options.plot)
            m_port->startPlotting();
        m_port->listen();
        return finish();
    }

private:
    QString startFiles()
    {
        if (!(m_options.csvPath == standardStream ? m_csv.start(stdout) : m_csv.start(m_options.csvPath)))
            return QStringLiteral("cannot create %1: %2").arg(m_options.csvPath, m_csv.errorString());
        if (!(m_options.textPath.isEmpty() ? m_text.start(stderr) : m_text.start(m_options.textPath)))
            return QStringLiteral("cannot create %1: %2").arg(m_options.textPath, m_text.errorString());
        m_csv.append(TelemetryCsv::header(), 0);
        return {};
    }

    void listen()
    {
        BoardPort *const port = m_port.get();
        QObject::connect(port, &BoardPort::frameReceived, port, [this](const Telemetry::Sample &values, const QDateTime &at) {
            m_csv.append(TelemetryCsv::row(at, m_csv.elapsedUs(), m_statistics.count, values));
            if (m_csv.isRecording())
                m_statistics.add(values);
            if (m_statistics.count == m_options.length.frames)
                m_port->end();
        });
        QObject::connect(port, &BoardPort::textReceived, port, [this](const QString &text) { m_text.append(text.toLocal8Bit()); });
        QObject::connect(&m_csv, &RecordingFile::failed, port, [this](const QString &reason) {
            // Whoever read the rows has gone (a pipe into head): the recording ends as if interrupted.
            m_interrupted = m_interrupted || m_options.csvPath == standardStream;
            m_port->end(QStringLiteral("cannot write %1: %2").arg(m_options.csvName, reason));
        });
        QObject::connect(&m_text, &RecordingFile::failed, port, [this](const QString &reason) {
            m_port->end(QStringLiteral("cannot write %1: %2").arg(m_options.textName, reason));
        });
        QObject::connect(&m_interruptWatch, &InterruptWatch::interrupted, port, [this] {
            m_interrupted = true;
            m_port->end();
        });
        port->endAfter(m_options.length.seconds);
    }

    int finish()
    {
        const double seconds = double(m_csv.elapsedUs()) / 1e6;
        // Each reason to fail is kept only when none came before it.
        m_port->stopPlotting();
        m_port->close();
        // A write that fails now is told as any other: through failed().
        m_csv.finish();
        m_text.finish();
        if (m_statistics.count == 0)
            m_port->end(QStringLiteral("no telemetry frame arrived"));
        if (m_interrupted && m_options.length.isBounded())
            m_port->end(QStringLiteral("interrupted before the end of the recording"));
        const QString failure = m_port->failure();
        const int exitCode = failure.isEmpty() ? ExitSuccess : ExitLineFailure;
        if (!failure.isEmpty())
            m_output.problem(QStringLiteral("%1: %2").arg(m_port->name(), failure));
        m_output.info(QStringLiteral("%1: recorded %2 frames in %3 s to %4")
                          .arg(m_port->name()).arg(m_statistics.count).arg(seconds, 0, 'f', 2).arg(m_options.csvName));
        QJsonObject summary {
            { QStringLiteral("command"), QStringLiteral("record") },
            { QStringLiteral("port"), m_port->name() },
            { QStringLiteral("file"), m_options.csvPath },
            { QStringLiteral("frames"), m_statistics.count },
            { QStringLiteral("seconds"), seconds },
            { QStringLiteral("interrupted"), m_interrupted },
            { QStringLiteral("exit_code"), exitCode },
        };
        if (m_statistics.count > 0)
            m_statistics.addTo(summary);
        m_output.event(QStringLiteral("summary"), summary);
        return exitCode;
    }

    CommandLine &m_commandLine;
    Output &m_output;
    const RecordOptions &m_options;
    BoardPublishers &m_publishers;
    std::unique_ptr<BoardPort> m_port;
    RecordingFile m_csv;
    RecordingFile m_text;
    SeriesStatistics m_statistics;
    InterruptWatch m_interruptWatch;
    bool m_interrupted = false;
};

// Board text and the readings as they come, until Ctrl-C. On a terminal the
// newest readings stay on a live line of their own under the text, which is
// written a whole line at a time above it.
class MonitorSession
{
public:
    MonitorSession(Output &output, BoardPublishers &publishers)
        : m_output(output)
        , m_publishers(publishers)
        , m_liveLine(!output.json() && !output.quiet() && Platform::isTerminal(stdout))
    {
    }

    int run(const QString &portName)
    {
        m_port = BoardPort::openOrExplain(portName, m_output);
        if (!m_port)
            return ExitOpenFailure;
        m_publishers.attach(*m_port);
        listen();
        m_output.event(QStringLiteral("opened"), { { QStringLiteral("port"), m_port->name() } });
        m_port->listen();
        m_port->close();
        const QString failure = m_port->failure();
        if (m_liveLine)
            m_output.text(clearLine + m_partialLine + (m_frames > 0 ? u'\n' + readout() : QString()) + u'\n');
        if (!failure.isEmpty())
            m_output.problem(QStringLiteral("%1: %2").arg(m_port->name(), failure));
        const int exitCode = failure.isEmpty() ? ExitSuccess : ExitLineFailure;
        m_output.event(QStringLiteral("summary"), {
            { QStringLiteral("command"), QStringLiteral("monitor") },
            { QStringLiteral("port"), m_port->name() },
            { QStringLiteral("frames"), m_frames },
            { QStringLiteral("exit_code"), exitCode },
        });
        return exitCode;
    }

private:
    void listen()
    {
        BoardPort *const port = m_port.get();
        QObject::connect(port, &BoardPort::frameReceived, port, [this](const Telemetry::Sample &values) {
            m_latest = values;
            m_readoutChanged = true;
            ++m_frames;
            m_output.event(QStringLiteral("telemetry"),
                           { { QStringLiteral("sample"), m_frames - 1 }, { QStringLiteral("values"), readingsJson(values) } });
        });
        QObject::connect(port, &BoardPort::textReceived, port, [this](const QString &text) {
            if (m_output.json()) {
                m_output.event(QStringLiteral("text"), { { QStringLiteral("text"), text } });
            } else if (!m_liveLine) {
                m_output.text(text);
            } else {
                m_partialLine += text;
                const qsizetype lineEnd = m_partialLine.lastIndexOf(u'\n');
                if (lineEnd < 0)
                    return;
                m_output.text(clearLine + m_partialLine.left(lineEnd + 1) + (m_frames > 0 ? readout() : QString()));
                m_partialLine.remove(0, lineEnd + 1);
            }
        });
        QObject::connect(&m_output, &Output::standardOutputClosed, port,
                         [this] { m_port->end(QStringLiteral("standard output closed")); });
        QObject::connect(&m_interruptWatch, &InterruptWatch::interrupted, port, [this] { m_port->end(); });
        QObject::connect(&m_readoutTimer, &QTimer::timeout, port, [this] {
            if (m_liveLine && m_readoutChanged)
                m_output.text(clearLine + readout());
            m_readoutChanged = false;
        });
        m_readoutTimer.start(readoutIntervalMs);
    }

    QString readout() const
    {
        QStringList parts;
        for (size_t i = 0; i < m_latest.size(); ++i)
            parts.append(QLatin1String(Telemetry::seriesNames[i]) + u' ' + QString::fromLatin1(TelemetryCsv::number(m_latest[i])));
        return parts.join(QStringLiteral(" | ")) + QStringLiteral(" | %1 frames").arg(m_frames);
    }

    Output &m_output;
    BoardPublishers &m_publishers;
    const bool m_liveLine;
    std::unique_ptr<BoardPort> m_port;
    InterruptWatch m_interruptWatch;
    QTimer m_readoutTimer;
    Telemetry::Sample m_latest {};
    qint64 m_frames = 0;
    bool m_readoutChanged = false;
    QString m_partialLine;
};

} // namespace

int runRecord(CommandLine &commandLine)
{
    commandLine.parser().setApplicationDescription(
        QStringLiteral("Records the board's telemetry as the console's CSV: one row per frame, in arrival "
                       "order. Board text goes to standard error, or to --text FILE. Without --seconds or "
                       "--frames, records until Ctrl-C."));
    RecordOptions options;
    if (const std::optional<int> done = options.parse(commandLine))
        return *done;
    // Leaves "offline" with the broker once the recording has said its last.
    BoardPublishers publishers(commandLine.output(), options.mqtt, commandLine.ports());
    return RecordSession(commandLine, options, publishers).run();
}

int runMonitor(CommandLine &commandLine)
{
    commandLine.parser().setApplicationDescription(
        QStringLiteral("Shows the board's text on standard output and, on a terminal, a live line with the "
                       "latest readings, until Ctrl-C. With --json: one \"text\" or \"telemetry\" event each."));
    MqttOptions::addOptions(commandLine.parser());
    if (const std::optional<int> done = commandLine.parse())
        return *done;
    MqttOptions mqtt;
    if (const std::optional<int> wrong = mqtt.read(commandLine, commandLine.ports()))
        return *wrong;
    BoardPublishers publishers(commandLine.output(), mqtt, commandLine.ports());
    return MonitorSession(commandLine.output(), publishers).run(commandLine.ports().constFirst());
}
