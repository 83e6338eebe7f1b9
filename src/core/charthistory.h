#ifndef CHARTHISTORY_H
#define CHARTHISTORY_H

#include "core/telemetry.h"

#include <QList>
#include <QPointF>

#include <array>
#include <optional>
#include <utility>
#include <vector>

// The newest samples of the five curves, bounded: a ring of doubles per curve
// (40 MB at the full million, taken as it fills), numbered as on the chart's X axis.
// Each run of blockSize ring slots also keeps its lowest and highest sample, so a
// view over the whole history looks at blocks rather than at every sample.
class ChartHistory
{
public:
    static constexpr qint64 defaultCapacity = 1000000;
    static constexpr qint64 blockSize = 64;

    explicit ChartHistory(qint64 capacity = defaultCapacity);

    // arrivalUs: when the sample came, in microseconds on the caller's clock.
    void add(qint64 sampleNumber, const Telemetry::Sample &sample, qint64 arrivalUs = 0);

    qint64 size() const { return m_size; }
    // The oldest sample kept, and one past the newest; equal when empty.
    qint64 firstSample() const { return m_endSample - m_size; }
    qint64 endSample() const { return m_endSample; }
    std::optional<Telemetry::Sample> sample(qint64 sampleNumber) const;
    std::optional<qint64> arrivalUs(qint64 sampleNumber) const;
    // The kept samples from one number up to, not including, another, and their
    // arrival times, in order; only those still kept where the range reaches
    // past them. Returns the first sample's number.
    qint64 copyRange(qint64 from, qint64 to, std::vector<Telemetry::Sample> &samples,
                     std::vector<qint64> &arrivalUs) const;

    struct Statistics
    {
        qint64 count = 0;
        Telemetry::Sample minimum {};
        Telemetry::Sample maximum {};
        Telemetry::Sample mean {};
    };
    // Over the kept samples from one number up to, not including, another.
    std::optional<Statistics> statistics(qint64 from, qint64 to) const;

    // The points of one curve between two X values, at most about two a column:
    // where a column covers several samples it gets their lowest and highest, in
    // the order they came, so a one-sample spike stays visible.
    QList<QPointF> points(int series, double xLow, double xHigh, int columns) const;
    // Lowest and highest value of every curve between two X values.
    std::optional<std::pair<double, double>> valueRange(double xLow, double xHigh) const;

private:
    struct Block
    {
        double low;
        double high;
        qint64 lowAt;
        qint64 highAt;
    };

    // Where a kept sample lies in each curve's ring.
    qint64 index(qint64 sampleNumber) const;
    double value(int series, qint64 sampleNumber) const;
    std::pair<qint64, qint64> kept(double xLow, double xHigh) const;
    // The lowest and highest of one curve's kept samples from one number up to
    // another, which must be later.
    Block extremes(int series, qint64 from, qint64 to) const;

    qint64 m_capacity;
    std::array<std::vector<double>, Telemetry::seriesCount> m_values;
    std::array<std::vector<Block>, Telemetry::seriesCount> m_blocks;
    std::vector<qint64> m_arrivalUs;
    qint64 m_size = 0;
    qint64 m_writes = 0;
    qint64 m_endSample = 0;
};

#endif // CHARTHISTORY_H
