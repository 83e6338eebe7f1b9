#ifndef CURVELIMITS_H
#define CURVELIMITS_H

#include "core/telemetry.h"

#include <QString>

#include <array>
#include <optional>

// Bounds on one curve's readings, either of them absent. A reading on a bound
// is within it: a limit is the last value still allowed.
struct CurveLimit
{
    std::optional<double> low;
    std::optional<double> high;

    bool isSet() const { return low.has_value() || high.has_value(); }
    bool admits(double value) const { return (!low || value >= *low) && (!high || value <= *high); }
    // A low above its high would admit nothing: a slip, never meant.
    bool isConsistent() const { return !low || !high || *low <= *high; }

    bool operator==(const CurveLimit &other) const { return low == other.low && high == other.high; }
};

namespace CurveLimits {

using Set = std::array<CurveLimit, Telemetry::seriesCount>;

// Consecutive readings outside a limit that make the protection act: one
// stray reading on a noisy rail is not yet a fault.
constexpr int protectionSamples = 3;

// The curves' short names in series order, as the status bar shows them and
// bench-ctl takes them besides the CSV header's names.
constexpr std::array<const char *, Telemetry::seriesCount> shortNames = { "1.8V", "3.3V", "5V", "12V", "all" };
constexpr std::array<const char *, Telemetry::seriesCount> aliases = { "1v8", "3v3", "5v", "12v", "all" };

// The series a name stands for: the CSV header's name or its alias, in any case.
std::optional<int> seriesOf(QStringView name);

} // namespace CurveLimits

// One limit a script asks for: "CURVE<=V", "CURVE>=V" or "CURVE in LO..HI".
struct LimitRule
{
    int series = 0;
    CurveLimit limit;
    QString text; // as given, for the report

    static std::optional<LimitRule> parse(const QString &expression);
};

// How many readings in a row have been outside a curve's limit.
class ViolationRun
{
public:
    // Counts one more reading; true when this one makes the run long enough to act on.
    bool add(bool outside)
    {
        m_length = outside ? m_length + 1 : 0;
        return m_length == CurveLimits::protectionSamples;
    }
    int length() const { return m_length; }

private:
    int m_length = 0;
};

#endif // CURVELIMITS_H
