#include "gui/powerchart.h"

#include <QChart>
#include <QChartView>
#include <QGuiApplication>
#include <QLineSeries>
#include <QOpenGLContext>
#include <QValueAxis>

#include <algorithm>

namespace {

constexpr int chartXRangeLow = 0;
constexpr int chartXRangeHigh = 500;
constexpr int chartXTickCount = 11;
constexpr int chartYRangeLow = 0;
constexpr int chartYRangeHigh = 140;
constexpr int chartYTickCount = 8;

// The chart's OpenGL path aborts the process where no context can be made (the
// headless offscreen platform among them), so it is asked for only where one can.
bool openGLDrawingAvailable()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    QOpenGLContext context;
    return context.create();
}

QPen seriesPen(Qt::GlobalColor colour)
{
    QPen pen(colour);
    pen.setWidth(2);
    return pen;
}

} // namespace

PowerChart::PowerChart(QChartView *view, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_axisX(new QValueAxis())
    , m_axisY(new QValueAxis())
{
    const char *const names[Telemetry::seriesCount] = { "1.8V power", "3.3V power", "5V power", "12V power",
                                                        "all power" };
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        m_series[i] = new QLineSeries();
        m_series[i]->setName(QString::fromLatin1(names[i]));
    }
    const QPen pens[Telemetry::seriesCount] = { seriesPen(Qt::green), seriesPen(Qt::red), seriesPen(Qt::blue),
                                                seriesPen(Qt::yellow), seriesPen(Qt::white) };

    QChart *chart = m_view->chart();
    chart->setMargins(QMargins(0, 0, 0, 0));
    m_view->setRenderHint(QPainter::Antialiasing, true);
    chart->setTheme(QChart::ChartThemeDark);

    m_axisX->setRange(chartXRangeLow, chartXRangeHigh);
    m_axisX->setTickCount(chartXTickCount);
    m_axisY->setRange(chartYRangeLow, chartYRangeHigh);
    m_axisY->setTickCount(chartYTickCount);
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);

    for (QLineSeries *series : m_series)
        chart->addSeries(series);
    for (QLineSeries *series : m_series) {
        series->attachAxis(m_axisX);
        series->attachAxis(m_axisY);
    }
    for (int i = 0; i < Telemetry::seriesCount; ++i)
        m_series[i]->setPen(pens[i]);

    const bool useOpenGL = openGLDrawingAvailable();
    for (QLineSeries *series : m_series)
        series->setUseOpenGL(useOpenGL);

    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &PowerChart::refresh);
}

void PowerChart::addSample(const Telemetry::Sample &sample)
{
    m_data.addSample(sample);
    if (m_refreshTimer.isActive())
        return;
    const qint64 sinceLastRefresh = m_lastRefresh.isValid() ? m_lastRefresh.elapsed() : refreshIntervalMs;
    m_refreshTimer.start(int(std::max<qint64>(0, refreshIntervalMs - sinceLastRefresh)));
}

void PowerChart::refresh()
{
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex)
        m_series[seriesIndex]->replace(m_data.points(seriesIndex));
    m_view->chart()->update(QRectF());
    m_axisX->setRange(m_data.xRangeLow(), m_data.xRangeHigh());
    m_lastRefresh.start();
}
