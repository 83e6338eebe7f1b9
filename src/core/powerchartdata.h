#ifndef POWERCHARTDATA_H
#define POWERCHARTDATA_H

#include "core/telemetry.h"

#include <QList>
#include <QPointF>

#include <array>

// The rolling point lists behind the five curves and the X range to show with
// them. The sample counter is 64-bit: at a frame per millisecond a 32-bit one
// would wrap after 25 days of plotting.
class PowerChartData
{
public:
    static constexpr int maxPoints = 500;

    explicit PowerChartData(qint64 firstSampleNumber = 0) : m_dataCounter(firstSampleNumber) {}

    void addSample(const Telemetry::Sample &sample);
    const QList<QPointF> &points(int series) const { return m_vectorList[series]; }
    qint64 sampleCount() const { return m_dataCounter; }
    double xRangeLow() const;
    double xRangeHigh() const;

    // A round step (1, 2 or 5 times a power of ten) that cuts a span into at
    // most the given number of intervals, for axis ticks people can read.
    static double tickInterval(double span, int intervals);

private:
    std::array<QList<QPointF>, Telemetry::seriesCount> m_vectorList;
    qint64 m_dataCounter = 0;
};

#endif // POWERCHARTDATA_H
