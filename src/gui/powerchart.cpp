#include "gui/powerchart.h"

#include <QChart>
#include <QChartView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int chartXRangeLow = 0;
constexpr int chartXRangeHigh = 500;
constexpr int chartXTickCount = 11;
constexpr int chartYTickCount = 8;
// Share of the visible values' span added above and below them when autoscaling.
constexpr double autoscaleMargin = 0.05;
constexpr double wheelZoomIn = 0.8;

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
    , m_readout(new QLabel(view))
{
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        m_series[i] = new QLineSeries();
        m_series[i]->setName(QString::fromLatin1(Telemetry::seriesNames[size_t(i)]));
    }
    const QPen pens[Telemetry::seriesCount] = { seriesPen(Qt::green), seriesPen(Qt::red), seriesPen(Qt::blue),
                                                seriesPen(Qt::yellow), seriesPen(Qt::white) };

    QChart *chart = m_view->chart();
    chart->setMargins(QMargins(0, 0, 0, 0));
    m_view->setRenderHint(QPainter::Antialiasing, true);
    chart->setTheme(QChart::ChartThemeDark);

    m_axisX->setRange(chartXRangeLow, chartXRangeHigh);
    m_axisX->setTickCount(chartXTickCount);
    m_axisY->setRange(liveYLow, liveYHigh);
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

    m_readout->setObjectName(QStringLiteral("label_chart_readout"));
    m_readout->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 160); color: white; padding: 3px;"));
    m_readout->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_readout->hide();
    m_view->setMouseTracking(true);
    m_view->viewport()->setMouseTracking(true);
    m_view->viewport()->installEventFilter(this);

    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &PowerChart::refresh);
}

void PowerChart::addSample(const Telemetry::Sample &sample)
{
    m_history.add(m_data.sampleCount(), sample);
    m_data.addSample(sample);
    if (m_paused || m_refreshTimer.isActive())
        return;
    const qint64 sinceLastRefresh = m_lastRefresh.isValid() ? m_lastRefresh.elapsed() : refreshIntervalMs;
    m_refreshTimer.start(int(std::max<qint64>(0, refreshIntervalMs - sinceLastRefresh)));
}

void PowerChart::refresh()
{
    setThinLines(false);
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex)
        m_series[seriesIndex]->replace(m_data.points(seriesIndex));
    m_view->chart()->update(QRectF());
    m_axisX->setRange(m_data.xRangeLow(), m_data.xRangeHigh());
    if (m_autoscaleY) {
        if (const auto range = m_history.valueRange(m_data.xRangeLow(), m_data.xRangeHigh()))
            fitY(range->first, range->second);
    }
    m_lastRefresh.start();
}

void PowerChart::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_refreshTimer.stop();
        showHistory(m_data.xRangeLow(), m_data.xRangeHigh());
    } else {
        refresh();
    }
    emit pausedChanged(paused);
}

void PowerChart::setAutoscaleY(bool on)
{
    m_autoscaleY = on;
    if (m_paused)
        showHistory(m_viewLow, m_viewHigh);
    else if (on)
        refresh();
    else
        m_axisY->setRange(liveYLow, liveYHigh);
}

void PowerChart::resetView()
{
    if (!m_autoscaleY)
        m_axisY->setRange(liveYLow, liveYHigh);
    if (m_paused)
        setPaused(false);
    else
        refresh();
}

void PowerChart::zoom(double factor, double aroundX)
{
    if (!m_paused)
        return;
    const double fullSpan = std::max(minimumSpan, double(m_history.endSample() - m_history.firstSample()));
    const double span = std::clamp((m_viewHigh - m_viewLow) * factor, minimumSpan, fullSpan);
    const double share = m_viewHigh > m_viewLow ? (aroundX - m_viewLow) / (m_viewHigh - m_viewLow) : 0.5;
    const double low = aroundX - std::clamp(share, 0.0, 1.0) * span;
    showHistory(low, low + span);
}

void PowerChart::pan(double samples)
{
    if (m_paused)
        showHistory(m_viewLow + samples, m_viewHigh + samples);
}

// Keeps the span, moved back inside the history where it would leave it.
void PowerChart::showHistory(double xLow, double xHigh)
{
    const double span = xHigh - xLow;
    const double first = double(m_history.firstSample());
    const double end = std::max(first + span, double(m_history.endSample()));
    xLow = std::clamp(xLow, first, end - span);
    m_viewLow = xLow;
    m_viewHigh = xLow + span;
    const int columns = plotColumns();
    setThinLines(m_viewHigh - m_viewLow > 2.0 * columns);
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex)
        m_series[seriesIndex]->replace(m_history.points(seriesIndex, m_viewLow, m_viewHigh, columns));
    m_axisX->setRange(m_viewLow, m_viewHigh);
    if (m_autoscaleY) {
        if (const auto range = m_history.valueRange(m_viewLow, m_viewHigh))
            fitY(range->first, range->second);
    } else {
        m_axisY->setRange(liveYLow, liveYHigh);
    }
    m_view->chart()->update(QRectF());
}

void PowerChart::fitY(double low, double high)
{
    const double margin = std::max((high - low) * autoscaleMargin, 0.5);
    m_axisY->setRange(low - margin, high + margin);
}

// Thousands of short strokes up and down each column: drawn thin and without
// antialiasing they cost a few milliseconds rather than a few hundred.
void PowerChart::setThinLines(bool thin)
{
    if (thin == m_thinLines)
        return;
    m_thinLines = thin;
    for (QLineSeries *series : m_series) {
        QPen pen = series->pen();
        pen.setWidth(thin ? 1 : 2);
        series->setPen(pen);
    }
    m_view->setRenderHint(QPainter::Antialiasing, !thin);
}

int PowerChart::plotColumns() const
{
    return std::max(100, int(m_view->chart()->plotArea().width()));
}

double PowerChart::xAt(const QPointF &viewPosition) const
{
    const QPointF scenePosition = m_view->mapToScene(viewPosition.toPoint());
    const QPointF chartPosition = m_view->chart()->mapFromScene(scenePosition);
    return m_view->chart()->mapToValue(chartPosition, m_series[0]).x();
}

QString PowerChart::readoutAt(const QPointF &viewPosition) const
{
    const QPointF scenePosition = m_view->mapToScene(viewPosition.toPoint());
    if (!m_view->chart()->plotArea().contains(m_view->chart()->mapFromScene(scenePosition)))
        return {};
    const qint64 sampleNumber = qint64(std::llround(xAt(viewPosition)));
    const std::optional<Telemetry::Sample> values = m_history.sample(sampleNumber);
    if (!values)
        return {};
    QString text = tr("样本 %1").arg(sampleNumber);
    for (int i = 0; i < Telemetry::seriesCount; ++i)
        text += u'\n' + QString::fromLatin1(Telemetry::seriesNames[size_t(i)]) + QStringLiteral(": ") + QString::number((*values)[i]);
    return text;
}

QString PowerChart::readoutText() const
{
    return m_readout->isVisible() ? m_readout->text() : QString();
}

bool PowerChart::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Wheel: {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (!m_paused || wheel->angleDelta().y() == 0)
            break;
        zoom(wheel->angleDelta().y() > 0 ? wheelZoomIn : 1 / wheelZoomIn, xAt(wheel->position()));
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_paused || mouse->button() != Qt::LeftButton)
            break;
        m_dragging = true;
        m_dragFrom = mouse->position();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_dragging) {
            const double width = std::max(1.0, m_view->chart()->plotArea().width());
            pan(-(mouse->position().x() - m_dragFrom.x()) * (m_viewHigh - m_viewLow) / width);
            m_dragFrom = mouse->position();
        }
        const QString text = readoutAt(mouse->position());
        m_readout->setVisible(!text.isEmpty());
        if (!text.isEmpty()) {
            m_readout->setText(text);
            m_readout->adjustSize();
            const QPoint at = mouse->position().toPoint() + QPoint(12, 12);
            m_readout->move(std::min(at.x(), m_view->width() - m_readout->width()),
                            std::min(at.y(), m_view->height() - m_readout->height()));
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (m_dragging) {
            m_dragging = false;
            return true;
        }
        break;
    case QEvent::Leave:
        m_readout->hide();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
