#include "gui/powerchart.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLineItem>
#include <QDateTime>
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

// The axis lays out a label for every tick at once: a range a thousand times
// wider under the old interval would make thousands of them. So the change goes
// through whichever state has fewer ticks.
void setRoundTicks(QValueAxis *axis, double low, double high, int intervals)
{
    const double interval = PowerChartData::tickInterval(high - low, intervals);
    // Whole ticks read as whole numbers.
    axis->setLabelFormat(interval >= 1 ? QStringLiteral("%.0f") : QString());
    const bool wider = axis->tickType() != QValueAxis::TicksDynamic || interval >= axis->tickInterval();
    axis->setTickAnchor(0);
    if (wider)
        axis->setTickInterval(interval);
    axis->setRange(low, high);
    if (!wider)
        axis->setTickInterval(interval);
    axis->setTickType(QValueAxis::TicksDynamic);
}

QPen seriesPen(Qt::GlobalColor colour)
{
    QPen pen(colour);
    pen.setWidth(2);
    return pen;
}

} // namespace

PowerChart::PowerChart(QChartView *view, QObject *parent)
    : PowerChart(view, ChartHistory::defaultCapacity, parent)
{
}

PowerChart::PowerChart(QChartView *view, qint64 historyCapacity, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_axisX(new QValueAxis())
    , m_axisY(new QValueAxis())
    , m_history(std::max<qint64>(historyCapacity, PowerChartData::maxPoints))
    , m_readout(new QLabel(view))
    , m_marker(new QGraphicsLineItem(view->chart()))
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
    connect(m_axisY, &QValueAxis::rangeChanged, this, &PowerChart::placeLimitLines);
    connect(chart, &QChart::plotAreaChanged, this, &PowerChart::placeLimitLines);

    m_marker->setPen(QPen(QColor(255, 160, 0), 1));
    // Above the curves, which the chart stacks a few steps over its background.
    m_marker->setZValue(100);
    m_marker->hide();
    connect(m_axisX, &QValueAxis::rangeChanged, this, &PowerChart::placeMarker);
    connect(chart, &QChart::plotAreaChanged, this, &PowerChart::placeMarker);
    m_clockStartUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    m_clock.start();
}

qint64 PowerChart::clockUs() const
{
    return m_clockStartUs + m_clock.nsecsElapsed() / 1000;
}

void PowerChart::addSample(const Telemetry::Sample &sample, qint64 arrivalUs)
{
    const qint64 sampleNumber = m_data.sampleCount();
    m_history.add(sampleNumber, sample, arrivalUs);
    m_data.addSample(sample);
    if (!m_paused) {
        if (m_trigger.isWatching()) {
            if (const std::optional<ChartTrigger::Capture> capture = m_trigger.addSample(sampleNumber, sample)) {
                freeze(*capture);
                return;
            }
        }
        scheduleRefresh();
        return;
    }
    // A paused view stays where it is until the samples it shows leave the
    // history, then moves with the oldest sample kept.
    const auto [lowest, highest] = viewLowBounds(m_viewSpan);
    if (m_viewLow < lowest || m_viewLow > highest)
        scheduleRefresh();
}

void PowerChart::scheduleRefresh()
{
    if (m_refreshTimer.isActive())
        return;
    const qint64 sinceLastRefresh = m_lastRefresh.isValid() ? m_lastRefresh.elapsed() : refreshIntervalMs;
    m_refreshTimer.start(int(std::max<qint64>(0, refreshIntervalMs - sinceLastRefresh)));
}

void PowerChart::refresh()
{
    if (m_paused) {
        showHistory(double(m_viewLow), m_viewSpan);
        return;
    }
    setThinLines(false);
    m_axisX->setTickType(QValueAxis::TicksFixed);
    m_axisX->setLabelFormat(QString());
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex)
        m_series[seriesIndex]->replace(m_data.points(seriesIndex));
    m_view->chart()->update(QRectF());
    m_axisX->setRange(m_data.xRangeLow(), m_data.xRangeHigh());
    if (m_autoscaleY) {
        if (const auto range = m_history.valueRange(m_data.xRangeLow(), m_data.xRangeHigh()))
            fitY(range->first, range->second);
    }
    m_drawnTo = m_data.sampleCount();
    m_drawnFrom = m_drawnTo - m_data.points(0).size();
    m_lastRefresh.start();
    if (m_readout->isVisible())
        showReadout();
}

// A redraw waiting for its turn is done at once where samples the curves show
// have left the history, so that the readout reads what is drawn.
void PowerChart::redrawIfSamplesLeft()
{
    if (m_drawnFrom < m_drawnTo && m_drawnFrom < m_history.firstSample()) {
        m_refreshTimer.stop();
        refresh();
    }
}

void PowerChart::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_refreshTimer.stop();
        showHistory(m_data.xRangeLow(), liveSpan());
    } else {
        m_markerSample.reset();
        placeMarker();
        if (m_trigger.isArmed())
            m_trigger.arm(liveSpan());
        refresh();
    }
    emit pausedChanged(paused);
}

void PowerChart::setTriggerSettings(const ChartTrigger::Settings &settings)
{
    m_trigger.setSettings(settings);
    if (m_trigger.isWatching())
        setTriggerArmed(true);
}

void PowerChart::setTriggerArmed(bool armed)
{
    if (armed)
        m_trigger.arm(liveSpan());
    else
        m_trigger.disarm();
}

// Paused as the user pauses it, on the view the capture filled.
void PowerChart::freeze(const ChartTrigger::Capture &capture)
{
    m_refreshTimer.stop();
    m_paused = true;
    m_markerSample = capture.triggerSample;
    showHistory(double(capture.viewLow), capture.viewSpan);
    placeMarker();
    emit pausedChanged(true);
    emit triggered(capture);
}

void PowerChart::placeMarker()
{
    QChart *const chart = m_view->chart();
    const QRectF plotArea = chart->plotArea();
    const double x = m_markerSample ? chart->mapToPosition(QPointF(double(*m_markerSample), 0), m_series[0]).x() : 0;
    const bool shown = m_markerSample && x >= plotArea.left() && x <= plotArea.right();
    if (shown)
        m_marker->setLine(x, plotArea.top(), x, plotArea.bottom());
    m_marker->setVisible(shown);
}

void PowerChart::setAutoscaleY(bool on)
{
    m_autoscaleY = on;
    if (m_paused)
        showHistory(double(m_viewLow), m_viewSpan);
    else if (on)
        refresh();
    else
        showLiveY();
}

void PowerChart::resetView()
{
    if (!m_autoscaleY)
        showLiveY();
    if (m_paused)
        setPaused(false);
    else
        refresh();
}

void PowerChart::zoom(double factor, double aroundX)
{
    if (!m_paused || !(factor > 0) || !std::isfinite(factor) || !std::isfinite(aroundX))
        return;
    // Every step that can change the span changes it by a sample at least.
    const double wanted = double(m_viewSpan) * factor;
    const qint64 widest = std::max(m_viewSpan, maximumSpan());
    qint64 span = m_viewSpan;
    if (factor < 1 && m_viewSpan > qint64(minimumSpan))
        span = std::clamp<qint64>(std::llround(wanted), qint64(minimumSpan), m_viewSpan - 1);
    else if (factor > 1 && m_viewSpan < widest)
        span = std::clamp<qint64>(std::llround(std::min(wanted, double(widest))), m_viewSpan + 1, widest);
    // The X value under the cursor stays where it is on the axis.
    const double share = std::clamp((aroundX - double(m_viewLow)) / double(m_viewSpan), 0.0, 1.0);
    showHistory(double(m_viewLow) + share * double(m_viewSpan - span), span);
}

void PowerChart::pan(double samples)
{
    if (m_paused)
        showHistory(double(m_viewLow) + samples, m_viewSpan);
}

qint64 PowerChart::liveSpan() const
{
    return qint64(m_data.xRangeHigh() - m_data.xRangeLow());
}

// The live window's span stays within reach while the history is shorter.
qint64 PowerChart::maximumSpan() const
{
    return std::max<qint64>(PowerChartData::maxPoints, m_history.size());
}

// Where a paused view of this span may start: within the history, or, where
// the history is shorter than the span, so that the view holds all of it.
std::pair<qint64, qint64> PowerChart::viewLowBounds(qint64 span) const
{
    const qint64 first = m_history.firstSample();
    const qint64 end = m_history.endSample();
    if (span <= end - first)
        return { first, end - span };
    return { std::max<qint64>(0, end - span), first };
}

// The view starts on a whole sample: one moved by fractions of a sample would
// carry rounding noise into the axis labels.
void PowerChart::showHistory(double xLow, qint64 span)
{
    if (!std::isfinite(xLow))
        xLow = double(m_viewLow);
    const auto [lowest, highest] = viewLowBounds(span);
    m_viewLow = std::llround(std::clamp(xLow, double(lowest), double(highest)));
    m_viewSpan = span;
    const qint64 viewHigh = m_viewLow + span;
    const int columns = plotColumns();
    setThinLines(span > 2 * qint64(columns));
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex)
        m_series[seriesIndex]->replace(m_history.points(seriesIndex, double(m_viewLow), double(viewHigh), columns));
    // Ticks on round sample numbers, not on tenths of whatever the view spans.
    setRoundTicks(m_axisX, double(m_viewLow), double(viewHigh), chartXTickCount - 1);
    const auto range = m_autoscaleY ? m_history.valueRange(double(m_viewLow), double(viewHigh)) : std::nullopt;
    if (range)
        fitY(range->first, range->second);
    else
        showLiveY();
    m_drawnFrom = std::max(m_viewLow, m_history.firstSample());
    m_drawnTo = std::max(m_drawnFrom, std::min(viewHigh + 1, m_history.endSample()));
    m_view->chart()->update(QRectF());
    m_lastRefresh.start();
    if (m_readout->isVisible())
        showReadout();
    emit viewChanged();
}

// Whole-number ends, as on the live axis, and ticks on round values.
void PowerChart::fitY(double low, double high)
{
    const double margin = std::max((high - low) * autoscaleMargin, 0.5);
    setRoundTicks(m_axisY, std::floor(low - margin), std::ceil(high + margin), chartYTickCount - 1);
}

void PowerChart::showLiveY()
{
    m_axisY->setTickType(QValueAxis::TicksFixed);
    m_axisY->setLabelFormat(QString());
    m_axisY->setRange(liveYLow, liveYHigh);
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

void PowerChart::setLimits(const CurveLimits::Set &limits)
{
    qDeleteAll(m_limitLines);
    m_limitLines.clear();
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex) {
        QPen pen(m_series[seriesIndex]->pen().color(), 1, Qt::DashLine);
        for (const std::optional<double> &bound : { limits[size_t(seriesIndex)].low, limits[size_t(seriesIndex)].high }) {
            if (!bound)
                continue;
            auto *line = new QGraphicsLineItem(m_view->chart());
            line->setPen(pen);
            // Above the curves, which the chart stacks high.
            line->setZValue(1000);
            line->setData(limitValueKey, *bound);
            m_limitLines.append(line);
        }
    }
    placeLimitLines();
}

void PowerChart::placeLimitLines()
{
    const QRectF plot = m_view->chart()->plotArea();
    for (QGraphicsLineItem *line : std::as_const(m_limitLines)) {
        const QPointF value(m_axisX->min(), line->data(limitValueKey).toDouble());
        const double y = m_view->chart()->mapToPosition(value, m_series[0]).y();
        line->setLine(plot.left(), y, plot.right(), y);
        line->setVisible(y >= plot.top() && y <= plot.bottom());
    }
}

std::optional<qint64> PowerChart::sampleAt(const QPointF &viewPosition) const
{
    const QPointF scenePosition = m_view->mapToScene(viewPosition.toPoint());
    if (m_drawnFrom >= m_drawnTo || !m_view->chart()->plotArea().contains(m_view->chart()->mapFromScene(scenePosition)))
        return std::nullopt;
    return std::clamp<qint64>(std::llround(xAt(viewPosition)), m_drawnFrom, m_drawnTo - 1);
}

QString PowerChart::readoutAt(const QPointF &viewPosition)
{
    redrawIfSamplesLeft();
    const QPointF scenePosition = m_view->mapToScene(viewPosition.toPoint());
    if (!m_view->chart()->plotArea().contains(m_view->chart()->mapFromScene(scenePosition)))
        return {};
    const qint64 sampleNumber = qint64(std::llround(xAt(viewPosition)));
    if (sampleNumber < m_drawnFrom || sampleNumber >= m_drawnTo)
        return {};
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

void PowerChart::showReadout()
{
    const QString text = readoutAt(m_mousePosition);
    m_readout->setVisible(!text.isEmpty());
    if (text.isEmpty())
        return;
    m_readout->setText(text);
    m_readout->adjustSize();
    const QPoint at = m_mousePosition.toPoint() + QPoint(12, 12);
    m_readout->move(std::min(at.x(), m_view->width() - m_readout->width()),
                    std::min(at.y(), m_view->height() - m_readout->height()));
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
        m_dragFromLow = m_viewLow;
        return true;
    }
    case QEvent::MouseMove: {
        m_mousePosition = static_cast<QMouseEvent *>(event)->position();
        if (m_dragging && m_paused) {
            // Measured from where the drag began, so that moves of less than a
            // sample add up rather than round away.
            const double width = std::max(1.0, m_view->chart()->plotArea().width());
            const double samples = (m_mousePosition.x() - m_dragFrom.x()) * double(m_viewSpan) / width;
            showHistory(double(m_dragFromLow) - samples, m_viewSpan);
        }
        showReadout();
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
