#include "boardport.h"
#include "boardpublishers.h"
#include "checkreport.h"
#include "commandline.h"

#include "core/consoletext.h"
#include "core/interruptwatch.h"
#include "core/recordingfile.h"
#include "core/telemetrycsv.h"

#include <QElapsedTimer>
#include <QSet>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QString standardStream = QStringLiteral("-");

QString curveChoices()
{
    QStringList names;
    for (int series = 0; series < Telemetry::seriesCount; ++series)
        names << QStringLiteral("'%1'").arg(QLatin1String(Telemetry::seriesNames[size_t(series)]))
              << QLatin1String(CurveLimits::aliases[size_t(series)]);
    return names.join(QStringLiteral(", "));
}

struct CheckOptions
{
    QStringList ports;
    std::vector<LimitRule> rules;
    RunLength length;
    bool plot = false;
    bool interlock = false;
    QString junitPath;
    QStringList csvPaths; // one per port, in order; none without -o
    MqttOptions mqtt;

    std::optional<int> parse(CommandLine &commandLine)
    {
        QCommandLineParser &parser = commandLine.parser();
        RunLength::addOptions(parser);
        parser.addOptions({
            { QStringLiteral("limit"),
              QStringLiteral("A limit the readings must keep: CURVE<=V, CURVE>=V or \"CURVE in LO..HI\", CURVE a CSV "
                             "column's name or 1v8, 3v3, 5v, 12v, all. Repeat for several."),
              QStringLiteral("EXPR") },
            { QStringLiteral("plot"), QStringLiteral("Send plotting on first and plotting off at the end.") },
            { QStringLiteral("interlock"),
              QStringLiteral("Send the GPU power-off frame, once, when a limit stays violated for %1 readings in a row.")
                  .arg(CurveLimits::protectionSamples) },
            { QStringLiteral("junit"), QStringLiteral("Write a JUnit XML report to FILE."), QStringLiteral("FILE") },
            { { QStringLiteral("o"), QStringLiteral("output") },
              QStringLiteral("Record the telemetry as record -o does, to FILE or - (standard output, one port only). With "
                             "several ports FILE must hold %p, the port's name (ttyUSB0; 3 for /dev/pts/3): a file per port."),
              QStringLiteral("FILE") },
        });
        MqttOptions::addOptions(parser);
        if (const std::optional<int> done = commandLine.parse())
            return done;
        if (const std::optional<int> wrong = length.read(commandLine))
            return wrong;
        ports = commandLine.ports();
        if (const std::optional<int> wrong = mqtt.read(commandLine, ports))
            return wrong;
        plot = parser.isSet(QStringLiteral("plot"));
        interlock = parser.isSet(QStringLiteral("interlock"));
        if (const std::optional<int> wrong = readLimits(commandLine))
            return wrong;
        return readFiles(commandLine);
    }

private:
    std::optional<int> readLimits(CommandLine &commandLine)
    {
        const QStringList expressions = commandLine.parser().values(QStringLiteral("limit"));
        if (expressions.isEmpty())
            return commandLine.usageError(QStringLiteral("give at least one --limit"));
        for (const QString &expression : expressions) {
            const std::optional<LimitRule> rule = LimitRule::parse(expression);
            if (!rule)
                return commandLine.usageError(
                    QStringLiteral("--limit: '%1' is not CURVE<=V, CURVE>=V or \"CURVE in LO..HI\" (LO at most HI), "
                                   "CURVE one of %2").arg(expression, curveChoices()));
            rules.push_back(*rule);
        }
        return std::nullopt;
    }

    std::optional<int> readFiles(CommandLine &commandLine)
    {
        junitPath = commandLine.parser().value(QStringLiteral("junit"));
        const QString csv = commandLine.parser().value(QStringLiteral("output"));
        if (junitPath == standardStream)
            return commandLine.usageError(QStringLiteral("--junit takes a file"));
        if (csv == standardStream && ports.size() > 1)
            return commandLine.usageError(QStringLiteral("-o - takes one port: give a FILE holding %p for several"));
        if (!csv.isEmpty() && ports.size() > 1 && !csv.contains(QLatin1String(portPlaceholder)))
            return commandLine.usageError(QStringLiteral("-o %1: with several ports the file's name must hold %p").arg(csv));
        for (const QString &port : ports) {
            if (!csv.isEmpty())
                csvPaths << (csv == standardStream ? csv : forPort(csv, port));
        }
        commandLine.output().setStandardOutputCarriesData(csv == standardStream);
        QSet<QString> seen;
        for (const QString &path : csvPaths + QStringList { junitPath }) {
            if (path.isEmpty() || path == standardStream)
                continue;
            if (const QString problem = checkWritable(path); !problem.isEmpty())
                return commandLine.usageError(problem);
            if (seen.contains(fileIdentity(path)))
                return commandLine.usageError(
                    QStringLiteral("%1 is given twice: each port's rows and the report go to files of their own").arg(path));
            seen.insert(fileIdentity(path));
        }
        return std::nullopt;
    }
};

// One board being checked: its port, its recording and what its readings showed.
struct PortCheck
{
    PortVerdict verdict;
    QString csvPath;
    std::unique_ptr<BoardPort> port;
    std::unique_ptr<RecordingFile> csv;
    std::vector<ViolationRun> runs; // one per limit, for the interlock
    QElapsedTimer clock;
};

// Every board of one check, each listened to from its open to its end, and
// reported together. The files of a port are made only once it is open.
class CheckRun
{
public:
    CheckRun(const CheckOptions &options, Output &output, BoardPublishers &publishers)
        : m_options(options), m_output(output), m_publishers(publishers), m_checks(size_t(options.ports.size()))
    {
    }

    int run()
    {
        QObject::connect(&m_interruptWatch, &InterruptWatch::interrupted, &m_interruptWatch, [this] {
            m_interrupted = true;
            for (PortCheck &check : m_checks) {
                if (check.port)
                    check.port->end();
            }
        });
        for (int i = 0; i < m_options.ports.size(); ++i)
            start(m_checks[size_t(i)], i);
        // A port's loop takes in every port's arrivals; one that ended meanwhile returns at once.
        for (PortCheck &check : m_checks) {
            if (check.verdict.failure != PortVerdict::Failure::Open)
                check.port->listen();
        }
        for (PortCheck &check : m_checks)
            finish(check);
        return report();
    }

private:
    void start(PortCheck &check, int index)
    {
        PortVerdict &verdict = check.verdict;
        verdict.port = m_options.ports.at(index);
        for (const LimitRule &rule : m_options.rules)
            verdict.limits.push_back({ rule });
        check.runs.resize(m_options.rules.size());
        check.port = std::make_unique<BoardPort>(verdict.port);
        if (!check.port->open()) {
            verdict.failure = PortVerdict::Failure::Open;
            verdict.message = check.port->openFailure();
            return;
        }
        m_publishers.attach(*check.port);
        verdict.started = QDateTime::currentDateTime();
        check.clock.start();
        m_output.event(QStringLiteral("opened"), { { QStringLiteral("port"), verdict.port } });
        listen(check);
        if (!m_options.csvPaths.isEmpty())
            startFile(check, m_options.csvPaths.at(index));
        check.port->endAfter(m_options.length.seconds);
        if (m_options.plot)
            check.port->startPlotting();
    }

    void startFile(PortCheck &check, const QString &path)
    {
        check.csvPath = path;
        check.csv = std::make_unique<RecordingFile>(RecordingFile::Lines);
        if (!(path == standardStream ? check.csv->start(stdout) : check.csv->start(path))) {
            check.port->end(QStringLiteral("cannot create %1: %2").arg(path, check.csv->errorString()));
            return;
        }
        check.csv->append(TelemetryCsv::header(), 0);
        QObject::connect(check.csv.get(), &RecordingFile::failed, check.port.get(), [&check](const QString &reason) {
            check.port->end(QStringLiteral("cannot write %1: %2").arg(check.csvPath, reason));
        });
    }

    void listen(PortCheck &check)
    {
        BoardPort *const port = check.port.get();
        QObject::connect(port, &BoardPort::frameReceived, port,
                         [this, &check](const Telemetry::Sample &values, const QDateTime &at) { take(check, values, at); });
        QObject::connect(port, &BoardPort::ended, port, [&check] {
            check.verdict.seconds = double(check.clock.nsecsElapsed()) / 1e9;
        });
        // The interlock's frame is not waited for: its failure comes later.
        QObject::connect(&port->session(), &BoardSession::sendFailed, port,
                         [port](const QString &reason) { port->end(ConsoleText::sendFailed(reason)); });
    }

    void take(PortCheck &check, const Telemetry::Sample &values, const QDateTime &at)
    {
        PortVerdict &verdict = check.verdict;
        const qint64 sample = verdict.statistics.count;
        if (check.csv)
            check.csv->append(TelemetryCsv::row(at, check.csv->elapsedUs(), sample, values));
        verdict.statistics.add(values);
        for (size_t i = 0; i < verdict.limits.size(); ++i) {
            LimitTally &tally = verdict.limits[i];
            const double value = values[size_t(tally.rule.series)];
            if (check.runs[i].add(tally.add(sample, value)) && m_options.interlock && !verdict.interlock)
                trip(check, { i, sample, value });
        }
        if (verdict.statistics.count == m_options.length.frames)
            check.port->end();
    }

    void trip(PortCheck &check, const InterlockTrip &trip)
    {
        if (!check.port->powerOffGpu())
            return;
        check.verdict.interlock = trip;
        const LimitTally &tally = check.verdict.limits.at(trip.limit);
        m_output.info(QStringLiteral("%1: %2").arg(check.verdict.port, CheckReport::interlockLine(check.verdict)));
        m_output.event(QStringLiteral("interlock"), {
            { QStringLiteral("port"), check.verdict.port },
            { QStringLiteral("limit"), tally.rule.text },
            { QStringLiteral("curve"), QLatin1String(Telemetry::seriesNames[size_t(tally.rule.series)]) },
            { QStringLiteral("sample"), trip.sample },
            { QStringLiteral("value"), Telemetry::rounded(trip.value) },
        });
    }

    void finish(PortCheck &check)
    {
        PortVerdict &verdict = check.verdict;
        if (verdict.failure == PortVerdict::Failure::Open)
            return;
        BoardPort &port = *check.port;
        port.stopPlotting();
        port.close();
        if (check.csv)
            check.csv->finish();
        if (verdict.statistics.count == 0)
            port.end(QStringLiteral("no telemetry frame arrived"));
        if (m_interrupted && m_options.length.isBounded())
            port.end(QStringLiteral("interrupted before the end of the check"));
        if (!port.failure().isEmpty()) {
            verdict.failure = PortVerdict::Failure::Line;
            verdict.message = port.failure();
        }
    }

    int report()
    {
        for (const PortVerdict &verdict : verdicts())
            CheckReport::say(m_output, verdict);
        int exitCode = CheckReport::exitCode(verdicts());
        QString junitProblem;
        if (!m_options.junitPath.isEmpty())
            junitProblem = CheckReport::writeJUnit(m_options.junitPath, verdicts());
        if (!junitProblem.isEmpty()) {
            m_output.problem(junitProblem);
            exitCode = exitCode == ExitOpenFailure ? exitCode : ExitLineFailure;
        }
        const qsizetype passed = std::count_if(m_checks.cbegin(), m_checks.cend(), [](const PortCheck &check) {
            return check.verdict.exitCode() == ExitSuccess;
        });
        m_output.info(QStringLiteral("check: %1 of %2 ports passed").arg(passed).arg(m_checks.size()));
        m_output.event(QStringLiteral("summary"), {
            { QStringLiteral("command"), QStringLiteral("check") },
            { QStringLiteral("ports"), qsizetype(m_checks.size()) },
            { QStringLiteral("passed"), passed },
            { QStringLiteral("violations"), CheckReport::violations(verdicts()) },
            { QStringLiteral("interlocks"), CheckReport::interlocks(verdicts()) },
            { QStringLiteral("junit"), m_options.junitPath.isEmpty() || !junitProblem.isEmpty() ? QJsonValue::Null
                                                                                               : QJsonValue(m_options.junitPath) },
            { QStringLiteral("interrupted"), m_interrupted },
            { QStringLiteral("exit_code"), exitCode },
        });
        return exitCode;
    }

    std::vector<PortVerdict> verdicts() const
    {
        std::vector<PortVerdict> verdicts;
        for (const PortCheck &check : m_checks)
            verdicts.push_back(check.verdict);
        return verdicts;
    }

    const CheckOptions &m_options;
    Output &m_output;
    BoardPublishers &m_publishers;
    std::vector<PortCheck> m_checks;
    InterruptWatch m_interruptWatch;
    bool m_interrupted = false;
};

} // namespace

int runCheck(CommandLine &commandLine)
{
    commandLine.parser().setApplicationDescription(
        QStringLiteral("Checks the telemetry of every board given with -p, all at once, against the limits given: per "
                       "port each curve's minimum, maximum and mean and every limit's verdict, with the first reading "
                       "outside it. Without --seconds or --frames, checks until Ctrl-C.\n\nExit status: 0 every port "
                       "passed, 4 a limit was violated, 1 a failure on the line or the board (a port lost, no frame, a "
                       "file that could not be written, interrupted before the end), 2 a usage error, 3 a port that "
                       "cannot be opened; where several apply, 3 before 1 before 4."));
    CheckOptions options;
    if (const std::optional<int> done = options.parse(commandLine))
        return *done;
    // Leaves "offline" with the broker once the check has said its last.
    BoardPublishers publishers(commandLine.output(), options.mqtt, options.ports);
    return CheckRun(options, commandLine.output(), publishers).run();
}
