#include "commands.h"

#include <QCoreApplication>

QString helpText(const QCommandLineParser &parser, const QString &program)
{
    // The parser names the program as it was started, path and all.
    QString help = parser.helpText();
    help.replace(QStringLiteral("Usage: %1 ").arg(QCoreApplication::arguments().value(0)), QStringLiteral("Usage: %1 ").arg(program));
    return help;
}

std::optional<int> parseCommandLine(QCommandLineParser &parser, const Invocation &invocation)
{
    parser.addOption({ QStringLiteral("json"), QStringLiteral("One JSON object per event and result.") });
    parser.addOption({ { QStringLiteral("q"), QStringLiteral("quiet") }, QStringLiteral("Only problems are printed.") });
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QString program = QStringLiteral("bench-ctl ") + invocation.command;
    if (!parser.parse(QStringList { program } + invocation.arguments))
        return usageError(invocation, parser.errorText());
    if (parser.isSet(helpOption)) {
        Output::write(stdout, helpText(parser, program));
        return ExitSuccess;
    }
    return std::nullopt;
}

Output outputFor(const QCommandLineParser &parser, const Invocation &invocation)
{
    return Output(invocation.json || parser.isSet(QStringLiteral("json")),
                  invocation.quiet || parser.isSet(QStringLiteral("q")));
}

int usageError(const Invocation &invocation, const QString &message)
{
    Output::write(stderr, QStringLiteral("bench-ctl %1: %2\nTry 'bench-ctl %1 --help'.\n").arg(invocation.command, message));
    return ExitUsage;
}
