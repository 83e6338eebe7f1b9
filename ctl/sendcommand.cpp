#include "boardport.h"
#include "commandline.h"

#include "core/boardcommand.h"

int runSend(CommandLine &commandLine)
{
    commandLine.parser().setApplicationDescription(
        QStringLiteral("Sends one command to the board: the bytes the console's matching control sends.\n\nCommands:\n  ")
        + BoardCommand::synopses().join(QStringLiteral("\n  ")));
    commandLine.addArgument(QStringLiteral("command"), QStringLiteral("The command, then its arguments."),
                            QStringLiteral("COMMAND [ARGS...]"));
    // Text for the board may start with a dash: nothing after the command is an option.
    commandLine.parser().setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (const std::optional<int> done = commandLine.parse())
        return *done;
    const QStringList given = commandLine.arguments();
    if (given.isEmpty())
        return commandLine.usageError(QStringLiteral("no command given"));
    const BoardCommand command = BoardCommand::parse(given.first(), given.mid(1));
    if (command.isRefused())
        return commandLine.usageError(command.refusal);

    Output &output = commandLine.output();
    const std::unique_ptr<BoardPort> port = BoardPort::openOrExplain(commandLine.ports().first(), output);
    if (!port)
        return ExitOpenFailure;
    const QString failure = port->send(command.bytes);
    port->close();
    if (!failure.isEmpty()) {
        output.problem(QStringLiteral("%1: %2").arg(port->name(), failure));
        return ExitLineFailure;
    }
    const QString hex = QString::fromLatin1(command.bytes.toHex(' ').toUpper());
    output.info(QStringLiteral("%1: %2%3").arg(port->name(), hex,
                                              command.lines.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(command.lines.join(QStringLiteral("; ")))));
    output.event(QStringLiteral("sent"), {
        { QStringLiteral("port"), port->name() },
        { QStringLiteral("command"), given.first() },
        { QStringLiteral("bytes"), hex },
        { QStringLiteral("length"), command.bytes.size() },
    });
    return ExitSuccess;
}
