#ifndef SERIESSTATISTICS_H
#define SERIESSTATISTICS_H

#include "core/telemetry.h"

#include <QJsonObject>

// Lowest, highest and mean of each curve over the frames of a run.
struct SeriesStatistics
{
    // A mean of readings with two decimals has more of them: four keep it honest.
    static constexpr int meanDecimals = 4;

    Telemetry::Sample minimum {};
    Telemetry::Sample maximum {};
    Telemetry::Sample sum {};
    qint64 count = 0;

    void add(const Telemetry::Sample &values);
    Telemetry::Sample mean() const;
    // "min", "max" and "mean", each keyed by the curves' names.
    void addTo(QJsonObject &summary) const;
};

#endif // SERIESSTATISTICS_H
