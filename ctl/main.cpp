// bench-ctl: the console's commands, flashing and telemetry recording for
// scripts, without a window. See README.md, "Scripted bring-up".

#include "commands.h"
#include "output.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

struct Subcommand
{
    const char *name;
    const char *synopsis;
    int (*run)(const Invocation &);
};

constexpr Subcommand subcommands[] = {
    { "list", "the ports the console's selector lists", runList },
    { "flash", "flash an image to one or more boards at once", runFlash },
    { "send", "send one board command", runSend },
    { "record", "record telemetry as CSV", runRecord },
    { "monitor", "show board text and the live readings", runMonitor },
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BENCH_CTL_VERSION));

    QCommandLineParser parser;
    QString description = QStringLiteral("Flashes, commands and records bench boards from scripts.\n\nCommands:");
    for (const Subcommand &subcommand : subcommands)
        description += QStringLiteral("\n  %1  %2").arg(QLatin1String(subcommand.name), -8).arg(QLatin1String(subcommand.synopsis));
    description += QStringLiteral("\n\n'bench-ctl COMMAND --help' describes a command. Exit status: 0 success, "
                                  "1 failure on the line or the board, 2 usage error, 3 a port that cannot be opened.");
    parser.setApplicationDescription(description);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("One JSON object per event and result."));
    const QCommandLineOption quietOption(QStringList { QStringLiteral("q"), QStringLiteral("quiet") },
                                         QStringLiteral("Only problems are printed."));
    parser.addOption(jsonOption);
    parser.addOption(quietOption);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, flash, send, record or monitor"));

    if (!parser.parse(QCoreApplication::arguments())) {
        Output::write(stderr, QStringLiteral("bench-ctl: %1\nTry 'bench-ctl --help'.\n").arg(parser.errorText()));
        return ExitUsage;
    }
    if (parser.isSet(versionOption)) {
        Output::write(stdout, QStringLiteral("bench-ctl %1\n").arg(QCoreApplication::applicationVersion()));
        return ExitSuccess;
    }
    if (parser.isSet(helpOption)) {
        Output::write(stdout, helpText(parser, QStringLiteral("bench-ctl")));
        return ExitSuccess;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        Output::write(stderr, QStringLiteral("bench-ctl: no command given\n\n") + helpText(parser, QStringLiteral("bench-ctl")));
        return ExitUsage;
    }

    const Invocation invocation { positional.first(), positional.mid(1), parser.isSet(jsonOption), parser.isSet(quietOption) };
    for (const Subcommand &subcommand : subcommands) {
        if (invocation.command == QLatin1String(subcommand.name))
            return subcommand.run(invocation);
    }
    Output::write(stderr, QStringLiteral("bench-ctl: unknown command '%1'\nTry 'bench-ctl --help'.\n").arg(invocation.command));
    return ExitUsage;
}
