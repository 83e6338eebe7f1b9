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
class ChartHistory
{
public:
    static constexpr qint64 defaultCapacity = 1000000;

    explicit ChartHistory(qint64 capacity = defaultCapacity);

    void add(qint64 sampleNumber, const Telemetry::Sample &sample);

    qint64 size() const { return m_size; }
    // The oldest sample kept, and one past the newest; equal when empty.
    qint64 firstSample() const { return m_endSample - m_size; }
    qint64 endSample() const { return m_endSample; }
    std::optional<Telemetry::Sample> sample(qint64 sampleNumber) const;

    // The points of one curve between two X values, at most about two a column:
    // where a column covers several samples it gets their lowest and highest, in
    // the order they came, so a one-sample spike stays visible.
    QList<QPointF> points(int series, double xLow, double xHigh, int columns) const;
    // Lowest and highest value of every curve between two X values.
    std::optional<std::pair<double, double>> valueRange(double xLow, double xHigh) const;

private:
    double value(int series, qint64 sampleNumber) const;
    std::pair<qint64, qint64> kept(double xLow, double xHigh) const;

    qint64 m_capacity;
    std::array<std::vector<double>, Telemetry::seriesCount> m_values;
    qint64 m_size = 0;
    qint64 m_writes = 0;
    qint64 m_endSample = 0;
};

#endif // CHARTHISTORY_H
