#include "seriesstatistics.h"

#include "output.h"

#include <algorithm>

void SeriesStatistics::add(const Telemetry::Sample &values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        minimum[i] = count == 0 ? values[i] : std::min(minimum[i], values[i]);
        maximum[i] = count == 0 ? values[i] : std::max(maximum[i], values[i]);
        sum[i] += values[i];
    }
    ++count;
}

Telemetry::Sample SeriesStatistics::mean() const
{
    Telemetry::Sample mean = sum;
    for (double &value : mean)
        value /= double(count);
    return mean;
}

void SeriesStatistics::addTo(QJsonObject &summary) const
{
    summary.insert(QStringLiteral("min"), readingsJson(minimum));
    summary.insert(QStringLiteral("max"), readingsJson(maximum));
    summary.insert(QStringLiteral("mean"), readingsJson(mean(), meanDecimals));
}
