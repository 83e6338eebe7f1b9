#ifndef OUTPUT_H
#define OUTPUT_H

#include "core/telemetry.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <cstdio>

// What bench-ctl's exit status says, for scripts.
enum ExitCode {
    ExitSuccess = 0,
    ExitLineFailure = 1, // a port lost, a time-out, a record that got no frame, an interrupt
    ExitUsage = 2,       // the command line, or a file or port it names, cannot be used
    ExitOpenFailure = 3, // a port that cannot be opened
    ExitLimitViolated = 4, // check: a reading outside a limit it was given
};

// Where a command's messages go. With --json every event and result is one JSON
// object on a line of its own, on standard output unless that carries data (a
// recording to "-"), then on standard error; human messages are left out. Without
// it, results go to standard output and problems to standard error; -q keeps only
// the problems. Once standard output's reader has gone (a pipe into head), what
// was due there goes to standard error instead, so that nothing said is lost.
class Output : public QObject
{
    Q_OBJECT

public:
    Output(bool json, bool quiet) : m_json(json), m_quiet(quiet) {}

    bool json() const { return m_json; }
    bool quiet() const { return m_quiet; }
    void setStandardOutputCarriesData(bool carriesData) { m_dataOnStdout = carriesData; }
    // Where results and events go.
    std::FILE *stream() const { return m_dataOnStdout || m_stdoutClosed ? stderr : stdout; }

    // One line: `fields` with "event": name added. Said as eventSaid() also
    // without --json.
    void event(const QString &name, const QJsonObject &fields);
    void info(const QString &line);
    // A problem: an "error" event with --json, else a line on standard error.
    void problem(const QString &line);
    // Text as it is, where results go.
    void text(const QString &text) { put(text.toLocal8Bit()); }

    // False when not all of it was written.
    static bool write(std::FILE *stream, const QByteArray &bytes);

signals:
    void standardOutputClosed();
    // Every event, as the line with --json has it, for whoever passes them on.
    void eventSaid(const QJsonObject &event);

private:
    void put(const QByteArray &bytes);

    const bool m_json;
    const bool m_quiet;
    bool m_dataOnStdout = false;
    bool m_stdoutClosed = false;
};

// Readings keyed by the curves' names, as the decimals they stand for.
QJsonObject readingsJson(const Telemetry::Sample &values, int decimals = Telemetry::readingDecimals);

#endif // OUTPUT_H
