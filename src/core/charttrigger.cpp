#include "core/charttrigger.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

bool ChartTrigger::crosses(Edge edge, double level, double previous, double current)
{
    const bool rising = previous < level && current >= level;
    const bool falling = previous > level && current <= level;
    switch (edge) {
    case Edge::Rising:
        return rising;
    case Edge::Falling:
        return falling;
    case Edge::Either:
        return rising || falling;
    }
    return false;
}

QString ChartTrigger::edgeName(Edge edge)
{
    switch (edge) {
    case Edge::Rising:
        return QCoreApplication::translate("MainWindow", "上升沿");
    case Edge::Falling:
        return QCoreApplication::translate("MainWindow", "下降沿");
    case Edge::Either:
        return QCoreApplication::translate("MainWindow", "任意");
    }
    return {};
}

QString ChartTrigger::modeName(Mode mode)
{
    return mode == Mode::Single ? QCoreApplication::translate("MainWindow", "单次")
                                : QCoreApplication::translate("MainWindow", "连续");
}

QString ChartTrigger::captureLine(const Settings &settings, const Capture &capture)
{
    return QCoreApplication::translate("MainWindow", "触发: %1 %2, 电平 %3 (样本 %4)")
        .arg(QString::fromLatin1(Telemetry::seriesNames[size_t(settings.series)]), edgeName(capture.edge),
             QString::number(settings.level))
        .arg(capture.triggerSample);
}

void ChartTrigger::arm(qint64 viewSpan)
{
    m_state = State::Looking;
    m_viewSpan = std::max<qint64>(1, viewSpan);
    m_previous.reset();
}

std::optional<qint64> ChartTrigger::triggerSample() const
{
    if (m_state == State::Filling || m_state == State::Captured)
        return m_capture.triggerSample;
    return std::nullopt;
}

std::optional<ChartTrigger::Capture> ChartTrigger::addSample(qint64 sampleNumber, const Telemetry::Sample &sample)
{
    if (m_state == State::Looking) {
        const int series = std::clamp(m_settings.series, 0, Telemetry::seriesCount - 1);
        const double value = sample[size_t(series)];
        const std::optional<double> previous = std::exchange(m_previous, value);
        if (!previous || !crosses(m_settings.edge, m_settings.level, *previous, value))
            return std::nullopt;
        const int percent = std::clamp(m_settings.positionPercent, 0, 100);
        m_capture.triggerSample = sampleNumber;
        m_capture.edge = value > *previous ? Edge::Rising : Edge::Falling;
        m_capture.viewSpan = m_viewSpan;
        m_capture.viewLow = sampleNumber - (m_viewSpan * percent + 50) / 100;
        m_state = State::Filling;
    }
    if (m_state != State::Filling)
        return std::nullopt;
    // The view's last sample, one short of its right end as on the live chart;
    // the trigger's own at the least, where it sits at that end.
    const qint64 lastInView = std::max(m_capture.triggerSample, m_capture.viewLow + m_capture.viewSpan - 1);
    if (sampleNumber < lastInView)
        return std::nullopt;
    m_state = m_settings.mode == Mode::Single ? State::Idle : State::Captured;
    return m_capture;
}
