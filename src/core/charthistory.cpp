#include "core/charthistory.h"

#include <algorithm>
#include <cmath>

ChartHistory::ChartHistory(qint64 capacity)
    : m_capacity(std::max<qint64>(1, capacity))
{
}

void ChartHistory::add(qint64 sampleNumber, const Telemetry::Sample &sample)
{
    // A counter that jumps (a new window's first sample) starts the history anew.
    if (m_size > 0 && sampleNumber != m_endSample) {
        m_size = 0;
        m_writes = 0;
        for (std::vector<double> &values : m_values)
            values.clear();
    }
    // Grows with the samples up to the capacity, then overwrites the oldest.
    const size_t at = size_t(m_writes % m_capacity);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        std::vector<double> &values = m_values[series];
        if (at == values.size())
            values.push_back(sample[series]);
        else
            values[at] = sample[series];
    }
    ++m_writes;
    m_endSample = sampleNumber + 1;
    m_size = std::min(m_size + 1, m_capacity);
}

double ChartHistory::value(int series, qint64 sampleNumber) const
{
    return m_values[series][size_t((m_writes - (m_endSample - sampleNumber)) % m_capacity)];
}

std::optional<Telemetry::Sample> ChartHistory::sample(qint64 sampleNumber) const
{
    if (sampleNumber < firstSample() || sampleNumber >= m_endSample)
        return std::nullopt;
    Telemetry::Sample values {};
    for (int series = 0; series < Telemetry::seriesCount; ++series)
        values[series] = value(series, sampleNumber);
    return values;
}

std::pair<qint64, qint64> ChartHistory::kept(double xLow, double xHigh) const
{
    const qint64 from = std::max(firstSample(), qint64(std::ceil(xLow)));
    const qint64 to = std::min(m_endSample, qint64(std::floor(xHigh)) + 1);
    return { from, std::max(from, to) };
}

QList<QPointF> ChartHistory::points(int series, double xLow, double xHigh, int columns) const
{
    const auto [from, to] = kept(xLow, xHigh);
    const qint64 count = to - from;
    columns = std::max(1, columns);
    QList<QPointF> result;
    if (count <= 2 * qint64(columns)) {
        result.reserve(count);
        for (qint64 x = from; x < to; ++x)
            result.append(QPointF(double(x), value(series, x)));
        return result;
    }
    result.reserve(2 * columns);
    for (int column = 0; column < columns; ++column) {
        const qint64 begin = from + count * column / columns;
        const qint64 end = from + count * (column + 1) / columns;
        qint64 lowAt = begin;
        qint64 highAt = begin;
        for (qint64 x = begin + 1; x < end; ++x) {
            const double v = value(series, x);
            if (v < value(series, lowAt))
                lowAt = x;
            else if (v > value(series, highAt))
                highAt = x;
        }
        const qint64 first = std::min(lowAt, highAt);
        const qint64 second = std::max(lowAt, highAt);
        result.append(QPointF(double(first), value(series, first)));
        if (second != first)
            result.append(QPointF(double(second), value(series, second)));
    }
    return result;
}

std::optional<std::pair<double, double>> ChartHistory::valueRange(double xLow, double xHigh) const
{
    const auto [from, to] = kept(xLow, xHigh);
    if (from == to)
        return std::nullopt;
    double low = value(0, from);
    double high = low;
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        for (qint64 x = from; x < to; ++x) {
            const double v = value(series, x);
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    return std::make_pair(low, high);
}
