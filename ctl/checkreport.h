#ifndef CHECKREPORT_H
#define CHECKREPORT_H

#include "seriesstatistics.h"

#include "core/curvelimits.h"

#include <QDateTime>
#include <QJsonArray>
#include <QString>

#include <optional>
#include <vector>

class Output;

// What one limit found in one port's readings.
struct LimitTally
{
    LimitRule rule;
    qint64 outside = 0; // readings outside the limit
    qint64 firstSample = -1;
    double firstValue = 0;
    double worstValue = 0; // the reading farthest outside

    bool passed() const { return outside == 0; }
    // Counts one reading; true when it is outside.
    bool add(qint64 sample, double value);
};

// The GPU power-off a port's board was sent: the limit that stayed violated and
// the reading that made it act.
struct InterlockTrip
{
    size_t limit = 0; // in PortVerdict::limits
    qint64 sample = 0;
    double value = 0;
};

// One port's check as it ended.
struct PortVerdict
{
    enum class Failure { None, Open, Line };

    QString port;
    Failure failure = Failure::None;
    QString message; // why the port could not be checked to the end
    QDateTime started;
    double seconds = 0;
    SeriesStatistics statistics;
    std::vector<LimitTally> limits;
    std::optional<InterlockTrip> interlock;

    bool checkedToTheEnd() const { return failure == Failure::None; }
    bool violated() const;
    // "passed", "failed" (a limit violated) or "error" (not checked to the end).
    QString status() const;
    int exitCode() const;
};

namespace CheckReport {

// The line said when the interlock acts, in the console's language where the
// window has words for it.
QString interlockLine(const PortVerdict &verdict);
// A port's readings and verdict: lines, or a "result" event with --json.
void say(Output &output, const PortVerdict &verdict);
// Every violation of every port, for the summary.
QJsonArray violations(const std::vector<PortVerdict> &verdicts);
// Every port's interlock that acted, for the summary.
QJsonArray interlocks(const std::vector<PortVerdict> &verdicts);
// The exit status of the whole check: a port that could not be opened or checked
// to the end outweighs a verdict, as its verdict is unknown.
int exitCode(const std::vector<PortVerdict> &verdicts);
// A JUnit report: a test suite per port, a test case per limit. Written under a
// temporary name and renamed, so the file is whole or left as it was; empty when
// written, else why not.
QString writeJUnit(const QString &path, const std::vector<PortVerdict> &verdicts);

} // namespace CheckReport

#endif // CHECKREPORT_H
