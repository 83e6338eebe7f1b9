// bench-ctl: the console's commands, flashing and telemetry recording for
// scripts, without a window. See README.md, "Scripted bring-up".

#include "commandline.h"
#include "platform.h"

#include <QCoreApplication>

namespace {

struct Subcommand
{
    const char *name;
    const char *synopsis;
    CommandLine::Ports ports;
    int (*run)(CommandLine &);
};

constexpr Subcommand subcommands[] = {
    { "list", "the ports the console's selector lists", CommandLine::Ports::None, runList },
    { "flash", "flash an image to one or more boards at once", CommandLine::Ports::Several, runFlash },
    { "send", "send one board command", CommandLine::Ports::One, runSend },
    { "record", "record telemetry as CSV", CommandLine::Ports::One, runRecord },
    { "monitor", "show board text and the live readings", CommandLine::Ports::One, runMonitor },
    { "check", "check telemetry against limits, one or more boards at once", CommandLine::Ports::Several, runCheck },
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BENCH_CTL_VERSION));
    Platform::ignoreBrokenPipe();

    QString description = QStringLiteral("Flashes, commands and records bench boards from scripts.\n\nCommands:");
    for (const Subcommand &subcommand : subcommands)
        description += QStringLiteral("\n  %1  %2").arg(QLatin1String(subcommand.name), -8).arg(QLatin1String(subcommand.synopsis));
    description += QStringLiteral("\n\n'bench-ctl COMMAND --help' describes a command. Exit status: 0 success, "
                                  "1 failure on the line or the board, 2 usage error, 3 a port that cannot be opened, "
                                  "4 a limit violated (check).");
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    CommandLine commandLine(QStringLiteral("bench-ctl"), arguments);
    commandLine.parser().setApplicationDescription(description);
    commandLine.parser().setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    commandLine.addArgument(QStringLiteral("command"), QStringLiteral("list, flash, send, record, monitor or check"),
                            QStringLiteral("command"));
    if (const std::optional<int> done = commandLine.parse())
        return *done;
    const QStringList positional = commandLine.arguments();
    if (positional.isEmpty())
        return commandLine.usageError(QStringLiteral("no command given"));

    // Everything from the command's name on is positional: what stands before it
    // are the global options, which the command takes as its own.
    const QStringList commandArguments = arguments.mid(0, arguments.size() - positional.size()) + positional.mid(1);
    for (const Subcommand &subcommand : subcommands) {
        if (positional.first() != QLatin1String(subcommand.name))
            continue;
        CommandLine command(QStringLiteral("bench-ctl ") + positional.first(), commandArguments, subcommand.ports);
        return subcommand.run(command);
    }
    return commandLine.usageError(QStringLiteral("unknown command '%1'").arg(positional.first()));
}
