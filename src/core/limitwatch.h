#ifndef LIMITWATCH_H
#define LIMITWATCH_H

#include "core/curvelimits.h"
#include "core/telemetry.h"

#include <QList>
#include <QString>

#include <optional>

// Something a curve did about its limits, with the line the log pane shows.
struct LimitEvent
{
    enum Kind {
        Out,        // left its limits
        Back,       // came back within them
        Chatter,    // left them again and again: counted since its last line
        Protection, // stayed outside long enough to cut the GPU's power
    };

    Kind kind = Out;
    int series = 0;
    double value = 0;
    qint64 sampleNumber = 0;
    QString line;
};

// Follows every curve against its limits, one sample at a time, and says what the
// user should read in the log pane. An excursion is told when it starts and when it
// ends, with how long it lasted and its worst value. A curve on the edge of its
// limit can cross it fifty times a second; beyond the one excursion told, those
// that start within a second of the curve's last line are counted and told
// together in one line once that second is over, so the log stays readable.
//
// The protection, while armed, trips on the sample that makes a curve's run of
// readings outside its limit long enough, then disarms itself: the GPU is cut
// once and the user decides when the watch may act again.
//
// Times are the samples' arrival in milliseconds on a steady clock, so that the
// watch can be driven by a test as well as by the port.
class LimitWatch
{
public:
    static constexpr qint64 lineIntervalMs = 1000;

    // Forgets every excursion under way: the next sample is judged afresh.
    void setLimits(const CurveLimits::Set &limits);
    const CurveLimits::Set &limits() const { return m_limits; }
    bool hasLimits() const { return m_anySet; }

    // Counting starts with the next sample: a curve that is already outside
    // when the user arms the protection trips it after the full run.
    void setProtectionArmed(bool armed);
    bool isProtectionArmed() const { return m_armed; }

    // The events of this sample, in curve order; a protection that trips is last.
    QList<LimitEvent> add(qint64 sampleNumber, qint64 arrivalMs, const Telemetry::Sample &values);
    // The counted excursions whose second is over, for when no sample comes to
    // tell them.
    QList<LimitEvent> flush(qint64 nowMs);
    bool hasCountedExcursions() const;

private:
    struct Curve
    {
        bool outside = false;
        // Whether its start was told, so that its end is too.
        bool told = false;
        qint64 outSample = 0;
        qint64 outMs = 0;
        qint64 outSamples = 0;
        double worst = 0;
        double worstExcess = 0;
        std::optional<qint64> lastLineMs;
        // Excursions started since the last line and not told one by one.
        int counted = 0;
        qint64 countedFromSample = 0;
        double countedWorst = 0;
        double countedWorstExcess = 0;
        ViolationRun run;
    };

    bool isSettled(const Telemetry::Sample &values) const;
    void noteCalm();
    void follow(int series, qint64 sampleNumber, qint64 arrivalMs, double value, QList<LimitEvent> &events);
    void tellCounted(int series, qint64 nowMs, QList<LimitEvent> &events);

    CurveLimits::Set m_limits {};
    bool m_anySet = false;
    bool m_armed = false;
    // No curve outside and none with excursions counted: kept apart from the
    // curves, so that a sample within its limits looks at the limits alone.
    bool m_calm = true;
    std::array<Curve, Telemetry::seriesCount> m_curves {};
    qint64 m_lastSample = 0;
};

namespace LimitText {

// "上限 50" or "下限 5": the bound a value is outside of.
QString bound(const CurveLimit &limit, double value);
// A reading as the status bar shows it: 52.65, not 52.650000000000006.
QString number(double value);
// A limit as the user typed it, every digit kept.
QString limitNumber(double limit);

} // namespace LimitText

#endif // LIMITWATCH_H
