#include "core/charthistory.h"

#include <algorithm>
#include <cmath>
#include <numeric>

ChartHistory::ChartHistory(qint64 capacity)
    : m_capacity(std::max<qint64>(1, capacity))
{
}

void ChartHistory::add(qint64 sampleNumber, const Telemetry::Sample &sample, qint64 arrivalUs)
{
    // A counter that jumps (a new window's first sample) starts the history anew.
    if (m_size > 0 && sampleNumber != m_endSample) {
        m_size = 0;
        m_writes = 0;
        for (int series = 0; series < Telemetry::seriesCount; ++series) {
            m_values[series].clear();
            m_blocks[series].clear();
        }
        m_arrivalUs.clear();
    }
    // Grows with the samples up to the capacity, then overwrites the oldest.
    const size_t at = size_t(m_writes % m_capacity);
    if (at == m_arrivalUs.size())
        m_arrivalUs.push_back(arrivalUs);
    else
        m_arrivalUs[at] = arrivalUs;
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        std::vector<double> &values = m_values[series];
        const double value = sample[series];
        if (at == values.size())
            values.push_back(value);
        else
            values[at] = value;
        // A block's first slot written anew starts its summary over.
        std::vector<Block> &blocks = m_blocks[series];
        const size_t blockIndex = at / blockSize;
        if (at % blockSize == 0) {
            const Block fresh { value, value, sampleNumber, sampleNumber };
            if (blockIndex == blocks.size())
                blocks.push_back(fresh);
            else
                blocks[blockIndex] = fresh;
        } else {
            Block &block = blocks[blockIndex];
            if (value < block.low) {
                block.low = value;
                block.lowAt = sampleNumber;
            } else if (value > block.high) {
                block.high = value;
                block.highAt = sampleNumber;
            }
        }
    }
    ++m_writes;
    m_endSample = sampleNumber + 1;
    m_size = std::min(m_size + 1, m_capacity);
}

qint64 ChartHistory::index(qint64 sampleNumber) const
{
    return (m_writes - (m_endSample - sampleNumber)) % m_capacity;
}

double ChartHistory::value(int series, qint64 sampleNumber) const
{
    return m_values[series][size_t(index(sampleNumber))];
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

qint64 ChartHistory::copyRange(qint64 from, qint64 to, std::vector<Telemetry::Sample> &samples,
                               std::vector<qint64> &arrivalUs) const
{
    from = std::max(from, firstSample());
    to = std::clamp(to, from, m_endSample);
    samples.resize(size_t(to - from));
    arrivalUs.resize(size_t(to - from));
    // Walks the rings once instead of working out each sample's place.
    size_t at = size_t(index(from));
    for (size_t row = 0; row < samples.size(); ++row) {
        for (int series = 0; series < Telemetry::seriesCount; ++series)
            samples[row][size_t(series)] = m_values[size_t(series)][at];
        arrivalUs[row] = m_arrivalUs[at];
        if (++at == m_arrivalUs.size())
            at = 0;
    }
    return from;
}

std::optional<qint64> ChartHistory::arrivalUs(qint64 sampleNumber) const
{
    if (sampleNumber < firstSample() || sampleNumber >= m_endSample)
        return std::nullopt;
    return m_arrivalUs[size_t(index(sampleNumber))];
}

// The extremes come from the block summaries; the mean has to add every sample,
// so the ring is summed in its (at most two) runs of adjacent slots.
std::optional<ChartHistory::Statistics> ChartHistory::statistics(qint64 from, qint64 to) const
{
    from = std::max(from, firstSample());
    to = std::min(to, m_endSample);
    if (from >= to)
        return std::nullopt;
    Statistics result;
    result.count = to - from;
    const qint64 start = index(from);
    const qint64 firstRun = std::min(result.count, m_capacity - start);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        const Block range = extremes(series, from, to);
        result.minimum[series] = range.low;
        result.maximum[series] = range.high;
        const double *const values = m_values[series].data();
        double sum = std::accumulate(values + start, values + start + firstRun, 0.0);
        sum = std::accumulate(values, values + (result.count - firstRun), sum);
        result.mean[series] = sum / double(result.count);
    }
    return result;
}

std::pair<qint64, qint64> ChartHistory::kept(double xLow, double xHigh) const
{
    const qint64 from = std::max(firstSample(), qint64(std::ceil(xLow)));
    const qint64 to = std::min(m_endSample, qint64(std::floor(xHigh)) + 1);
    return { from, std::max(from, to) };
}

// Walks the ring without a division per sample, and over whole blocks by their
// summaries: a million samples a curve are looked at on every redraw. The block
// being written holds the newest samples and the oldest, so it is walked sample
// by sample.
ChartHistory::Block ChartHistory::extremes(int series, qint64 from, qint64 to) const
{
    const double *const values = m_values[series].data();
    const Block *const blocks = m_blocks[series].data();
    const qint64 writingBlock = (m_writes % m_capacity) / blockSize;
    qint64 at = index(from);
    Block result { values[at], values[at], from, from };
    for (qint64 x = from; x < to;) {
        if (at % blockSize == 0 && to - x >= blockSize && at + blockSize <= m_capacity
            && at / blockSize != writingBlock) {
            const Block &block = blocks[at / blockSize];
            if (block.low < result.low) {
                result.low = block.low;
                result.lowAt = block.lowAt;
            }
            if (block.high > result.high) {
                result.high = block.high;
                result.highAt = block.highAt;
            }
            x += blockSize;
            at += blockSize;
        } else {
            const double v = values[at];
            if (v < result.low) {
                result.low = v;
                result.lowAt = x;
            } else if (v > result.high) {
                result.high = v;
                result.highAt = x;
            }
            ++x;
            ++at;
        }
        if (at == m_capacity)
            at = 0;
    }
    return result;
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
        const Block inColumn = extremes(series, begin, from + count * (column + 1) / columns);
        if (inColumn.lowAt <= inColumn.highAt) {
            result.append(QPointF(double(inColumn.lowAt), inColumn.low));
            if (inColumn.highAt != inColumn.lowAt)
                result.append(QPointF(double(inColumn.highAt), inColumn.high));
        } else {
            result.append(QPointF(double(inColumn.highAt), inColumn.high));
            result.append(QPointF(double(inColumn.lowAt), inColumn.low));
        }
    }
    return result;
}

std::optional<std::pair<double, double>> ChartHistory::valueRange(double xLow, double xHigh) const
{
    const auto [from, to] = kept(xLow, xHigh);
    if (from == to)
        return std::nullopt;
    Block all = extremes(0, from, to);
    for (int series = 1; series < Telemetry::seriesCount; ++series) {
        const Block curve = extremes(series, from, to);
        all.low = std::min(all.low, curve.low);
        all.high = std::max(all.high, curve.high);
    }
    return std::make_pair(all.low, all.high);
}
