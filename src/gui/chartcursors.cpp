#include "gui/chartcursors.h"

#include "core/curvelimits.h"
#include "gui/powerchart.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// How near a press must come to a cursor's line, in pixels, to take it.
constexpr double grabDistance = 6;
// A press that moves less than this before its release is a click, not a drag.
constexpr double clickDistance = 4;
constexpr int meanDecimals = 4;

// Apart from the trigger's orange marker and from the curves' colours.
const std::array<QColor, 2> cursorColours = { QColor(255, 110, 200), QColor(0, 200, 255) };

QString seconds(qint64 us)
{
    return QString::number(double(us) / 1e6, 'f', 6);
}

} // namespace

ChartCursors::ChartCursors(PowerChart *chart, QChartView *view, QObject *parent)
    : QObject(parent)
    , m_chart(chart)
    , m_view(view)
    , m_readout(new QLabel(view))
{
    for (int cursor = A; cursor <= B; ++cursor) {
        m_lines[cursor] = new QGraphicsLineItem(view->chart());
        m_lines[cursor]->setPen(QPen(cursorColours[cursor], 1));
        m_lines[cursor]->setZValue(100);
        m_lines[cursor]->hide();
        m_labels[cursor] = new QGraphicsSimpleTextItem(view->chart());
        m_labels[cursor]->setBrush(cursorColours[cursor]);
        m_labels[cursor]->setZValue(100);
        m_labels[cursor]->hide();
    }
    m_readout->setObjectName(QStringLiteral("label_cursor_readout"));
    // Small and see-through: it stands over the curves of a chart a few hundred pixels high.
    m_readout->setStyleSheet(
        QStringLiteral("background: rgba(0, 0, 0, 150); color: white; padding: 2px; font-size: 8pt;"));
    m_readout->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_readout->hide();

    // Installed after the chart's own filter, so it sees the mouse first.
    view->viewport()->installEventFilter(this);
    connect(chart, &PowerChart::viewChanged, this, &ChartCursors::redraw);
    connect(view->chart(), &QChart::plotAreaChanged, this, &ChartCursors::redraw);
    connect(chart, &PowerChart::pausedChanged, this, [this](bool paused) {
        if (!paused)
            clear();
    });
}

void ChartCursors::place(Cursor cursor, qint64 sampleNumber)
{
    const auto [first, end] = m_chart->drawnSamples();
    if (!m_chart->isPaused() || first >= end)
        return;
    m_positions[cursor] = std::clamp(sampleNumber, first, end - 1);
    redraw();
}

void ChartCursors::clear()
{
    m_positions = {};
    m_dragged.reset();
    redraw();
}

// A cursor whose sample left the history goes with it.
void ChartCursors::redraw()
{
    for (std::optional<qint64> &position : m_positions) {
        if (position && !m_chart->history().sample(*position))
            position.reset();
    }
    const QRectF plot = m_view->chart()->plotArea();
    for (int cursor = A; cursor <= B; ++cursor) {
        const std::optional<qint64> position = m_positions[cursor];
        const double x = position ? viewXOf(*position) : -1;
        const bool shown = position && x >= plot.left() && x <= plot.right();
        m_lines[cursor]->setVisible(shown);
        m_labels[cursor]->setVisible(shown);
        if (!shown)
            continue;
        m_lines[cursor]->setLine(x, plot.top(), x, plot.bottom());
        m_labels[cursor]->setText(QStringLiteral("%1 %2").arg(QChar(u'A' + cursor)).arg(*position));
        m_labels[cursor]->setPos(x + 3, plot.top() + 2 + cursor * 14);
    }
    const QString text = readoutText();
    m_readout->setVisible(!text.isEmpty());
    if (text.isEmpty())
        return;
    m_readout->setText(text);
    m_readout->adjustSize();
    // In the upper corner away from the cursors, so that it hides least of what they mark.
    double cursorsX = 0;
    int shown = 0;
    for (int cursor = A; cursor <= B; ++cursor) {
        if (m_lines[cursor]->isVisible()) {
            cursorsX += m_lines[cursor]->line().x1();
            ++shown;
        }
    }
    const bool onTheLeft = shown > 0 && cursorsX / shown > plot.center().x();
    const int x = onTheLeft ? int(plot.left()) : int(plot.right()) - m_readout->width();
    m_readout->move(std::max(0, x), int(plot.top()));
}

// In the chart's own coordinates, where the plot area is given.
double ChartCursors::viewXOf(qint64 sampleNumber) const
{
    const double y = m_chart->axisY()->min();
    return m_view->chart()->mapToPosition(QPointF(double(sampleNumber), y), m_chart->series(0)).x();
}

std::optional<ChartCursors::Cursor> ChartCursors::cursorNear(const QPointF &viewPosition) const
{
    const double x = m_view->chart()->mapFromScene(m_view->mapToScene(viewPosition.toPoint())).x();
    std::optional<Cursor> nearest;
    double nearestDistance = grabDistance;
    for (int cursor = A; cursor <= B; ++cursor) {
        if (!m_lines[cursor]->isVisible())
            continue;
        const double distance = std::abs(m_lines[cursor]->line().x1() - x);
        if (distance <= nearestDistance) {
            nearest = Cursor(cursor);
            nearestDistance = distance;
        }
    }
    return nearest;
}

QString ChartCursors::sampleText(Cursor cursor) const
{
    const qint64 number = *m_positions[cursor];
    const std::optional<Telemetry::Sample> values = m_chart->history().sample(number);
    QString text = tr("光标%1: 样本 %2, %3 s")
                       .arg(QChar(u'A' + cursor))
                       .arg(number)
                       .arg(seconds(m_chart->history().arrivalUs(number).value_or(m_originUs) - m_originUs));
    QStringList readings;
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        readings << QStringLiteral("%1 %2").arg(QLatin1String(CurveLimits::shortNames[size_t(series)]),
                                                QString::number(Telemetry::rounded((*values)[series])));
    }
    return text + QStringLiteral("  ") + readings.join(QStringLiteral("  "));
}

QString ChartCursors::betweenText() const
{
    const auto [from, to] = range();
    const ChartHistory &history = m_chart->history();
    const qint64 durationUs = *history.arrivalUs(to - 1) - *history.arrivalUs(from);
    QString text = tr("A→B: %1 个样本, %2 s").arg(to - from).arg(seconds(durationUs));
    const std::optional<ChartHistory::Statistics> statistics = history.statistics(from, to);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        text += u'\n'
            + tr("%1: 最小 %2, 最大 %3, 平均 %4")
                  .arg(QLatin1String(CurveLimits::shortNames[size_t(series)]))
                  .arg(Telemetry::rounded(statistics->minimum[series]))
                  .arg(Telemetry::rounded(statistics->maximum[series]))
                  .arg(Telemetry::rounded(statistics->mean[series], meanDecimals));
    }
    return text;
}

QString ChartCursors::readoutText() const
{
    QStringList parts;
    for (int cursor = A; cursor <= B; ++cursor) {
        if (m_positions[cursor])
            parts << sampleText(Cursor(cursor));
    }
    if (m_positions[A] && m_positions[B])
        parts << betweenText();
    return parts.join(u'\n');
}

// Both cursors' samples and every one between, whichever way round they stand.
std::pair<qint64, qint64> ChartCursors::range() const
{
    if (m_positions[A] && m_positions[B]) {
        const auto [low, high] = std::minmax(*m_positions[A], *m_positions[B]);
        return { low, high + 1 };
    }
    const auto [first, end] = m_chart->drawnSamples();
    return { std::max(first, m_chart->history().firstSample()), std::min(end, m_chart->history().endSample()) };
}

qint64 ChartCursors::rangeRows() const
{
    const auto [from, to] = range();
    return std::clamp<qint64>(to - from, 0, maximumCopiedRows);
}

bool ChartCursors::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_chart->isPaused())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const bool placesB = mouse->button() == Qt::RightButton
            || (mouse->button() == Qt::LeftButton && mouse->modifiers().testFlag(Qt::ShiftModifier));
        if (placesB) {
            if (const std::optional<qint64> number = m_chart->sampleAt(mouse->position()))
                place(B, *number);
            return true;
        }
        if (mouse->button() != Qt::LeftButton)
            break;
        m_dragged = cursorNear(mouse->position());
        if (m_dragged)
            return true;
        m_pressedAt = mouse->position();
        break;
    }
    case QEvent::MouseMove:
        if (m_dragged) {
            if (const std::optional<qint64> number = m_chart->sampleAt(static_cast<QMouseEvent *>(event)->position()))
                place(*m_dragged, *number);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        if (std::exchange(m_dragged, std::nullopt))
            return true;
        const std::optional<QPointF> pressedAt = std::exchange(m_pressedAt, std::nullopt);
        if (pressedAt && QLineF(*pressedAt, mouse->position()).length() < clickDistance) {
            if (const std::optional<qint64> number = m_chart->sampleAt(mouse->position()))
                place(A, *number);
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
