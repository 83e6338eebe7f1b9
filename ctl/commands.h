#ifndef COMMANDS_H
#define COMMANDS_H

#include "output.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// A subcommand as main() hands it over: its name, its own arguments, and the
// global options given before it.
struct Invocation
{
    QString command;
    QStringList arguments; // what follows the command's name
    bool json = false;
    bool quiet = false;
};

// Parses a subcommand's options, with --json, -q and --help added. Returns the
// exit code when nothing is left to do (help shown: 0, a usage error: 2).
std::optional<int> parseCommandLine(QCommandLineParser &parser, const Invocation &invocation);
// The parser's help, with the program named as the user would type it.
QString helpText(const QCommandLineParser &parser, const QString &program);
Output outputFor(const QCommandLineParser &parser, const Invocation &invocation);
// Says what is wrong and how to get help; returns ExitUsage.
int usageError(const Invocation &invocation, const QString &message);

int runList(const Invocation &invocation);
int runSend(const Invocation &invocation);
int runFlash(const Invocation &invocation);
int runRecord(const Invocation &invocation);
int runMonitor(const Invocation &invocation);

#endif // COMMANDS_H
