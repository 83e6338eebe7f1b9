#include "commandline.h"

#include "platform.h"

#include "core/consolelanguage.h"
#include "core/consolesettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTranslator>

#include <algorithm>

QString fileIdentity(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
}

QString checkWritable(const QString &path)
{
    if (path.isEmpty())
        return {};
    const bool existed = QFileInfo(path).exists() || QFileInfo(path).isSymLink();
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
    if (!existed)
        file.remove();
    return {};
}

void RunLength::addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        { QStringLiteral("seconds"), QStringLiteral("Stop after S seconds."), QStringLiteral("S") },
        { QStringLiteral("frames"), QStringLiteral("Stop after N frames."), QStringLiteral("N") },
    });
}

std::optional<int> RunLength::read(CommandLine &commandLine)
{
    const QString secondsText = commandLine.parser().value(QStringLiteral("seconds"));
    const QString framesText = commandLine.parser().value(QStringLiteral("frames"));
    bool ok = false;
    seconds = secondsText.toDouble(&ok);
    if (!secondsText.isNull() && (!ok || !(seconds > 0) || seconds > 1e6))
        return commandLine.usageError(QStringLiteral("--seconds: '%1' is not a positive number").arg(secondsText));
    frames = framesText.toLongLong(&ok);
    if (!framesText.isNull() && (!ok || frames <= 0))
        return commandLine.usageError(QStringLiteral("--frames: '%1' is not a positive whole number").arg(framesText));
    return std::nullopt;
}

QString forPort(QString pattern, const QString &port)
{
    return pattern.replace(QLatin1String(portPlaceholder), QFileInfo(port).fileName());
}

void MqttOptions::addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        { QStringLiteral("mqtt"),
          QStringLiteral("Publish telemetry, board text and events to an MQTT broker: mqtt://[user@]host[:port]/prefix, or "
                         "mqtts://... over TLS. The password is taken from BENCH_MQTT_PASSWORD. A broker that is down or "
                         "refuses changes neither the outcome nor the files."),
          QStringLiteral("URL") },
        { QStringLiteral("board"),
          QStringLiteral("The board's topic level under the prefix (with --mqtt); by default the adapter's serial number, "
                         "else the port's name. With several ports it must hold %p, the port's name."),
          QStringLiteral("NAME") },
        { QStringLiteral("mqtt-ca"),
          QStringLiteral("The CA certificate that an mqtts:// broker's certificate is checked against (with --mqtt); by "
                         "default the system's."),
          QStringLiteral("FILE") },
    });
}

std::optional<int> MqttOptions::read(CommandLine &commandLine, const QStringList &ports)
{
    const QCommandLineParser &parser = commandLine.parser();
    url = parser.value(QStringLiteral("mqtt"));
    board = parser.value(QStringLiteral("board"));
    caFile = parser.value(QStringLiteral("mqtt-ca"));
    password = qEnvironmentVariable("BENCH_MQTT_PASSWORD");
    if (!parser.isSet(QStringLiteral("mqtt"))) {
        for (const QString &option : { QStringLiteral("board"), QStringLiteral("mqtt-ca") }) {
            if (parser.isSet(option))
                return commandLine.usageError(QStringLiteral("--%1 takes --mqtt").arg(option));
        }
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("board")) && board.isEmpty())
        return commandLine.usageError(QStringLiteral("--board: give a name"));
    if (!caFile.isEmpty() && !url.startsWith(QLatin1String("mqtts:"), Qt::CaseInsensitive))
        return commandLine.usageError(QStringLiteral("--mqtt-ca takes an mqtts:// broker"));
    if (parser.isSet(QStringLiteral("board")) && ports.size() > 1 && !board.contains(QLatin1String(portPlaceholder)))
        return commandLine.usageError(QStringLiteral("--board %1: with several ports the name must hold %p").arg(board));
    for (const QString &port : ports) {
        // The port's name stands for the adapter's serial number here: what is
        // checked is the URL, the CA file and the name's form.
        if (const QString problem = MqttPublisher::check(settingsFor(port, {})); !problem.isEmpty())
            return commandLine.usageError(QStringLiteral("--mqtt: %1").arg(problem));
    }
    return std::nullopt;
}

MqttPublisher::Settings MqttOptions::settingsFor(const QString &port, const QList<PortRecord> &ports) const
{
    QString name = board;
    if (name.isEmpty()) {
        const QString location = fileIdentity(Platform::systemLocation(port));
        const auto listed = std::find_if(ports.cbegin(), ports.cend(), [&](const PortRecord &record) {
            return record.portName == port || (!record.systemLocation.isEmpty() && fileIdentity(record.systemLocation) == location);
        });
        name = listed == ports.cend() ? forPort(QLatin1String(portPlaceholder), port)
            : !listed->serialNumber.isEmpty() ? listed->serialNumber
                                             : listed->portName;
    }
    return { url, forPort(name, port), password, caFile };
}

CommandLine::CommandLine(const QString &program, const QStringList &arguments, Ports ports)
    : m_arguments(arguments)
    , m_program(program)
    , m_ports(ports)
{
    m_parser.addOptions({
        { QStringLiteral("json"), QStringLiteral("One JSON object per event and result.") },
        { { QStringLiteral("q"), QStringLiteral("quiet") }, QStringLiteral("Only problems are printed.") },
        { QStringLiteral("lang"), QStringLiteral("The console's lines in zh (Chinese) or en (English); by default as "
                                                 "the console was left. JSON is always in the console's own words."),
          QStringLiteral("LANG") },
    });
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    if (ports != Ports::None)
        m_parser.addOption({ { QStringLiteral("p"), QStringLiteral("port") },
                             QStringLiteral("The board's port: a listed name or a device path.%1")
                                 .arg(ports == Ports::Several ? QStringLiteral(" Repeat for several boards.") : QString()),
                             QStringLiteral("PORT") });
}

void CommandLine::addArgument(const QString &name, const QString &description, const QString &syntax)
{
    m_parser.addPositionalArgument(name, description, syntax);
    m_takesArguments = true;
}

std::optional<int> CommandLine::parse()
{
    const bool parsed = m_parser.parse(QStringList { m_program } + m_arguments);
    if (m_parser.isSet(QStringLiteral("help")) || m_parser.isSet(QStringLiteral("help-all"))) {
        // The parser names the program as it was started, path and all.
        const QString usage = QStringLiteral("Usage: %1 ");
        const QString help = m_parser.helpText().replace(usage.arg(QCoreApplication::arguments().value(0)), usage.arg(m_program));
        Output::write(stdout, help.toLocal8Bit());
        return ExitSuccess;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        Output::write(stdout, "bench-ctl " + QCoreApplication::applicationVersion().toLocal8Bit() + '\n');
        return ExitSuccess;
    }
    if (!parsed)
        return usageError(m_parser.errorText());
    const QString language = m_parser.value(QStringLiteral("lang"));
    if (!language.isEmpty() && language != QLatin1String("zh") && language != QLatin1String("en"))
        return usageError(QStringLiteral("--lang takes zh or en, not '%1'").arg(language));
    m_output = std::make_unique<Output>(m_parser.isSet(QStringLiteral("json")), m_parser.isSet(QStringLiteral("quiet")));
    applyLanguage(language);
    if (!m_takesArguments && !arguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(arguments().constFirst()));
    return checkPorts();
}

int CommandLine::usageError(const QString &message) const
{
    Output::write(stderr, QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(m_program, message).toLocal8Bit());
    return ExitUsage;
}

// The last command line parsed decides: bench-ctl's own, then its command's, which
// sees the global options too. JSON reads the same whatever the language, as
// scripts may match its messages.
void CommandLine::applyLanguage(const QString &language)
{
    static QTranslator english;
    // The console's settings, which bench-ctl reads and never writes.
    const QString console = QStringLiteral("bench-console");
    const bool wanted = language.isEmpty() ? ConsoleSettings::remembersEnglish(console, console) : language == QLatin1String("en");
    QCoreApplication::removeTranslator(&english);
    if (wanted && !m_output->json() && (!english.isEmpty() || english.load(QLatin1String(ConsoleLanguage::englishTranslation))))
        QCoreApplication::installTranslator(&english);
}

// A path that is a regular file or a folder rather than a device, and one port
// named twice, are refused before any port is opened.
std::optional<int> CommandLine::checkPorts() const
{
    const QStringList names = ports();
    if (m_ports == Ports::One && names.size() != 1)
        return usageError(QStringLiteral("give one port with -p"));
    if (m_ports == Ports::Several && names.isEmpty())
        return usageError(QStringLiteral("give at least one port with -p"));
    QSet<QString> seen;
    for (const QString &name : names) {
        const QFileInfo info(Platform::systemLocation(name));
        if (info.isDir() || info.isFile())
            return usageError(QStringLiteral("%1 is a %2, not a serial port")
                                  .arg(name, info.isDir() ? QStringLiteral("folder") : QStringLiteral("regular file")));
        const QString identity = fileIdentity(info.filePath());
        if (seen.contains(identity))
            return usageError(
                QStringLiteral("%1 is given twice: one port is flashed, sent to or read by one board at a time").arg(name));
        seen.insert(identity);
    }
    return std::nullopt;
}
