#ifndef POWERCHART_H
#define POWERCHART_H

#include "core/charthistory.h"
#include "core/curvelimits.h"
#include "core/charttrigger.h"
#include "core/powerchartdata.h"
#include "core/telemetry.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QTimer>

#include <array>
#include <optional>
#include <utility>

class QChartView;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QValueAxis;

// The power chart on the window's chart view: five curves of the newest points
// and an X axis that scrolls with them, and behind them a history of the newest
// million samples that a paused chart can be zoomed and panned through.
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
    static constexpr double liveYLow = 0;
    static constexpr double liveYHigh = 140;
    // The narrowest view zooming in gives, in samples.
    static constexpr double minimumSpan = 10;

    // Builds the chart on the view, which owns the axes and the series from then on.
    explicit PowerChart(QChartView *view, QObject *parent = nullptr);
    // With a history of its own size, never less than the live window, so that
    // pausing keeps every point the live chart showed.
    PowerChart(QChartView *view, qint64 historyCapacity, QObject *parent = nullptr);

    // arrivalUs: when the sample came, on clockUs(); read now where not given.
    void addSample(const Telemetry::Sample &sample, qint64 arrivalUs);
    void addSample(const Telemetry::Sample &sample) { addSample(sample, clockUs()); }

    QValueAxis *axisX() const { return m_axisX; }
    QValueAxis *axisY() const { return m_axisY; }
    QLineSeries *series(int index) const { return m_series[index]; }
    const PowerChartData &data() const { return m_data; }
    const ChartHistory &history() const { return m_history; }

    // A paused chart stays where it is while samples keep coming into the history.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void setAutoscaleY(bool on);
    bool autoscaleY() const { return m_autoscaleY; }
    // Back to the live view, unpaused.
    void resetView();
    // While paused: the X range scaled by factor around an X value, and moved by
    // a number of samples. A paused view spans whole samples, from minimumSpan
    // to the live window or the whole history, whichever is wider, and stays
    // within the history; where the history is shorter than the view, the view
    // holds all of it and starts no earlier than sample 0. Zooming in never
    // widens the view, zooming out never narrows it.
    void zoom(double factor, double aroundX);
    void pan(double samples);

    // Each limit set is a dashed line across the plot in its curve's colour,
    // whatever the view; its value is the line's data(limitValueKey).
    void setLimits(const CurveLimits::Set &limits);
    QList<QGraphicsLineItem *> limitLines() const { return m_limitLines; }
    static constexpr int limitValueKey = 0;

    // The sample under a point of the view and the text the readout shows for it;
    // empty where no sample is drawn.
    QString readoutAt(const QPointF &viewPosition);
    QString readoutText() const;
    // The drawn sample nearest a point of the view's plot area.
    std::optional<qint64> sampleAt(const QPointF &viewPosition) const;
    // The samples the curves show, from the first up to one past the last.
    std::pair<qint64, qint64> drawnSamples() const { return { m_drawnFrom, m_drawnTo }; }
    // Microseconds since the Unix epoch on the clock that stamps each sample's
    // arrival in the history: monotonic, so that differences never jump.
    qint64 clockUs() const;

    // An armed trigger watches the samples while the chart is live; its capture
    // pauses the chart on the view it fills and marks the trigger sample there.
    // Resuming arms it again where it is still armed (a continuous one).
    const ChartTrigger &trigger() const { return m_trigger; }
    void setTriggerSettings(const ChartTrigger::Settings &settings);
    void setTriggerArmed(bool armed);
    std::optional<qint64> triggerMarker() const { return m_markerSample; }

signals:
    void pausedChanged(bool paused);
    // The paused view moved or was redrawn over other samples.
    void viewChanged();
    void triggered(const ChartTrigger::Capture &capture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleRefresh();
    void refresh();
    void redrawIfSamplesLeft();
    qint64 liveSpan() const;
    qint64 maximumSpan() const;
    std::pair<qint64, qint64> viewLowBounds(qint64 span) const;
    void showHistory(double xLow, qint64 span);
    void fitY(double low, double high);
    void showLiveY();
    int plotColumns() const;
    void setThinLines(bool thin);
    double xAt(const QPointF &viewPosition) const;
    void showReadout();
    void placeLimitLines();
    void freeze(const ChartTrigger::Capture &capture);
    void placeMarker();

    QChartView *const m_view;
    QValueAxis *m_axisX;
    QValueAxis *m_axisY;
    std::array<QLineSeries *, Telemetry::seriesCount> m_series;
    PowerChartData m_data;
    ChartHistory m_history;
    QTimer m_refreshTimer;
    QElapsedTimer m_lastRefresh;
    QLabel *m_readout;
    bool m_paused = false;
    bool m_autoscaleY = false;
    // The paused view, in whole samples.
    qint64 m_viewLow = 0;
    qint64 m_viewSpan = 0;
    // The samples the curves show, from the first up to one past the last.
    qint64 m_drawnFrom = 0;
    qint64 m_drawnTo = 0;
    bool m_thinLines = false;
    bool m_dragging = false;
    QPointF m_dragFrom;
    qint64 m_dragFromLow = 0;
    QPointF m_mousePosition;
    QList<QGraphicsLineItem *> m_limitLines;
    QElapsedTimer m_clock;
    qint64 m_clockStartUs = 0;
    ChartTrigger m_trigger;
    std::optional<qint64> m_markerSample;
    QGraphicsLineItem *m_marker;
};

#endif // POWERCHART_H
