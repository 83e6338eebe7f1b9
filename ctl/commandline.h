#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "output.h"

#include "core/portlisting.h"
#include "link/mqttpublisher.h"

#include <QCommandLineParser>
#include <QStringList>

#include <memory>
#include <optional>

// The command line of bench-ctl or one of its commands: its own options, those
// every command takes (--json, -q, --lang, --help, --help-all, --version) and,
// for a command that reaches boards, -p.
class CommandLine
{
public:
    enum class Ports { None, One, Several };

    // program: as the user types it ("bench-ctl record").
    CommandLine(const QString &program, const QStringList &arguments, Ports ports = Ports::None);

    QCommandLineParser &parser() { return m_parser; }
    // What follows the options; a command that declares none refuses any.
    void addArgument(const QString &name, const QString &description, const QString &syntax);
    // Help and the version are answered first (0), then what is wrong is said (2).
    // Otherwise the language is in place, output() is ready and the ports given
    // with -p are as many as the command takes, each a device named once.
    std::optional<int> parse();

    QStringList ports() const { return m_ports == Ports::None ? QStringList() : m_parser.values(QStringLiteral("p")); }
    QStringList arguments() const { return m_parser.positionalArguments(); }
    Output &output() { return *m_output; }
    // Says what is wrong and how to get help; returns ExitUsage.
    int usageError(const QString &message) const;

private:
    void applyLanguage(const QString &language);
    std::optional<int> checkPorts() const;

    const QStringList m_arguments;
    const QString m_program;
    const Ports m_ports;
    QCommandLineParser m_parser;
    bool m_takesArguments = false;
    std::unique_ptr<Output> m_output;
};

// The same file however it is named: through a symbolic link, or relative.
QString fileIdentity(const QString &path);
// Whether a file can be written, found without changing what is there: a file
// that exists keeps its content, and one that did not is not left behind. Empty
// when it can, else the line saying why not.
QString checkWritable(const QString &path);

// How long a command that listens to boards goes on: --seconds S, --frames N
// (whichever comes first when both are given), or until Ctrl-C.
struct RunLength
{
    double seconds = 0;
    qint64 frames = 0;

    static void addOptions(QCommandLineParser &parser);
    // Once the command line is parsed: the values, or a usage error.
    std::optional<int> read(CommandLine &commandLine);
    bool isBounded() const { return seconds > 0 || frames > 0; }
};

// Publishing to an MQTT broker: --mqtt URL, --board NAME, --mqtt-ca FILE, and the
// password from BENCH_MQTT_PASSWORD, so that it never shows in a process list.
struct MqttOptions
{
    QString url; // empty: not publishing
    QString board; // may hold %p, the port's name
    QString caFile;
    QString password;

    static void addOptions(QCommandLineParser &parser);
    // Once the command line is parsed: the values for the ports given, or a usage
    // error before any port opens.
    std::optional<int> read(CommandLine &commandLine, const QStringList &ports);
    bool isSet() const { return !url.isEmpty(); }
    // The settings of one port's publisher; ports: the platform's, for the
    // adapter's serial number.
    MqttPublisher::Settings settingsFor(const QString &port, const QList<PortRecord> &ports) const;
};

// What stands for the port's name in a name given for several ports (-o, --board).
inline constexpr char portPlaceholder[] = "%p";
// pattern with the port's name for the placeholder, as a file name or a topic
// level holds it: ttyUSB0, 3 for /dev/pts/3.
QString forPort(QString pattern, const QString &port);

// The commands, each on what follows its name, the global options first.
int runList(CommandLine &commandLine);
int runSend(CommandLine &commandLine);
int runFlash(CommandLine &commandLine);
int runRecord(CommandLine &commandLine);
int runMonitor(CommandLine &commandLine);
int runCheck(CommandLine &commandLine);

#endif // COMMANDLINE_H
