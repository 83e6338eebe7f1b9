#include "boardport.h"
#include "commands.h"

#include "core/boardcommand.h"

int runSend(const Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sends one command to the board: the bytes the console's matching control sends.\n\nCommands:\n  ")
        + BoardCommand::synopses().join(QStringLiteral("\n  ")));
    const QCommandLineOption portOption(QStringList { QStringLiteral("p"), QStringLiteral("port") },
                                        QStringLiteral("The board's port: a listed name or a device path."),
                                        QStringLiteral("PORT"));
    parser.addOption(portOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command, then its arguments."),
                                 QStringLiteral("COMMAND [ARGS...]"));
    // Text for the board may start with a dash: nothing after the command is an option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (const std::optional<int> done = parseCommandLine(parser, invocation))
        return *done;
    const Output output = outputFor(parser, invocation);

    const QStringList ports = parser.values(portOption);
    if (ports.size() != 1)
        return usageError(invocation, QStringLiteral("give one port with -p"));
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(invocation, QStringLiteral("no command given"));
    const BoardCommand command = BoardCommand::parse(positional.first(), positional.mid(1));
    if (command.isRefused())
        return usageError(invocation, command.refusal);
    if (const QString problem = BoardPort::checkArguments(ports); !problem.isEmpty())
        return usageError(invocation, problem);

    BoardPort port(ports.first());
    if (!port.open()) {
        output.problem(QStringLiteral("%1: %2").arg(port.name(), port.openFailure()));
        return ExitOpenFailure;
    }
    const QString failure = port.send(command.bytes);
    port.close();
    const QString hex = QString::fromLatin1(command.bytes.toHex(' ').toUpper());
    if (!failure.isEmpty()) {
        output.problem(QStringLiteral("%1: %2").arg(port.name(), failure));
        return ExitLineFailure;
    }
    output.info(QStringLiteral("%1: %2%3").arg(port.name(), hex,
                                              command.lines.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(command.lines.join(QStringLiteral("; ")))));
    output.event(QStringLiteral("sent"), {
        { QStringLiteral("port"), port.name() },
        { QStringLiteral("command"), positional.first() },
        { QStringLiteral("bytes"), hex },
        { QStringLiteral("length"), command.bytes.size() },
    });
    return ExitSuccess;
}
