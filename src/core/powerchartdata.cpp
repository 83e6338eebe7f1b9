#include "core/powerchartdata.h"

void PowerChartData::addSample(const Telemetry::Sample &sample)
{
    const double x = double(m_dataCounter);
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex) {
        QList<QPointF> &points = m_vectorList[seriesIndex];
        if (points.size() >= maxPoints)
            points.removeFirst();
        points.append(QPointF(x, sample[seriesIndex]));
    }
    ++m_dataCounter;
}

double PowerChartData::xRangeLow() const
{
    return m_dataCounter > maxPoints ? double(m_dataCounter - maxPoints) : 0.0;
}

double PowerChartData::xRangeHigh() const
{
    return m_dataCounter > maxPoints ? double(m_dataCounter) : double(maxPoints);
}
