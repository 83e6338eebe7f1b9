#ifndef POWERCHART_H
#define POWERCHART_H

#include "core/powerchartdata.h"
#include "core/telemetry.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>

class QChartView;
class QLineSeries;
class QValueAxis;

// The live power chart on the window's chart view: five curves of the newest
// points and an X axis that scrolls with them.
//
// Moving the X axis lays its labels out anew, about a millisecond, ten times a
// frame's 108 us on the wire. Every sample goes into the point lists at once, but
// the curves and the axis are redrawn at most once per display frame, and only
// after the read that brought the sample is taken in whole, so a board streaming
// at full line rate cannot make the window fall behind.
class PowerChart : public QObject
{
    Q_OBJECT

public:
    static constexpr int refreshIntervalMs = 16;

    // Builds the chart on the view, which owns the axes and the series from then on.
    explicit PowerChart(QChartView *view, QObject *parent = nullptr);

    void addSample(const Telemetry::Sample &sample);

    QValueAxis *axisX() const { return m_axisX; }
    QValueAxis *axisY() const { return m_axisY; }
    QLineSeries *series(int index) const { return m_series[index]; }
    const PowerChartData &data() const { return m_data; }

private:
    void refresh();

    QChartView *const m_view;
    QValueAxis *m_axisX;
    QValueAxis *m_axisY;
    std::array<QLineSeries *, Telemetry::seriesCount> m_series;
    PowerChartData m_data;
    QTimer m_refreshTimer;
    QElapsedTimer m_lastRefresh;
};

#endif // POWERCHART_H
