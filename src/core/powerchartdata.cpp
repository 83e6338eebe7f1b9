#include "core/powerchartdata.h"

#include <cmath>

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

double PowerChartData::tickInterval(double span, int intervals)
{
    if (!(span > 0) || !std::isfinite(span) || intervals < 1)
        return 1;
    const double rough = span / intervals;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double step : { 1.0, 2.0, 5.0 }) {
        if (step * power >= rough * (1 - 1e-9))
            return step * power;
    }
    return 10 * power;
}
