#ifndef OUTPUT_H
#define OUTPUT_H

#include <QJsonObject>
#include <QString>

#include <cstdio>

// What bench-ctl's exit status says, for scripts.
enum ExitCode {
    ExitSuccess = 0,
    ExitLineFailure = 1, // a port lost, a time-out, a record that got no frame, an interrupt
    ExitUsage = 2,       // the command line, or a file or port it names, cannot be used
    ExitOpenFailure = 3, // a port that cannot be opened
};

// Where a command's messages go. With --json every event and result is one JSON
// object on a line of its own, on standard output unless that carries data (a
// recording to "-"), then on standard error; human messages are left out. Without
// it, results go to standard output and problems to standard error; -q keeps only
// the problems.
class Output
{
public:
    Output(bool json, bool quiet) : m_json(json), m_quiet(quiet) {}

    bool json() const { return m_json; }
    bool quiet() const { return m_quiet; }
    void setStandardOutputCarriesData(bool carriesData) { m_dataOnStdout = carriesData; }
    // Where human results go: standard error when standard output carries data.
    std::FILE *humanStream() const { return m_dataOnStdout ? stderr : stdout; }

    // One line: `fields` with "event": name added.
    void event(const QString &name, const QJsonObject &fields) const;
    void info(const QString &line) const;
    // A problem: an "error" event with --json, else a line on standard error.
    void problem(const QString &line) const;

    static void write(std::FILE *stream, const QString &text);

private:
    const bool m_json;
    const bool m_quiet;
    bool m_dataOnStdout = false;
};

#endif // OUTPUT_H
