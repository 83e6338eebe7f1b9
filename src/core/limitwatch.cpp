#include "core/limitwatch.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

#include <limits>

namespace {

// How far a value lies beyond the bound it is outside of; 0 within the limits.
double excessOf(const CurveLimit &limit, double value)
{
    if (limit.high && value > *limit.high)
        return value - *limit.high;
    if (limit.low && value < *limit.low)
        return *limit.low - value;
    return 0;
}

QString curveName(int series)
{
    return QString::fromLatin1(Telemetry::seriesNames[size_t(series)]);
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

} // namespace

namespace LimitText {

QString bound(const CurveLimit &limit, double value)
{
    if (limit.high && value > *limit.high)
        return QCoreApplication::translate("MainWindow", "上限 %1").arg(limitNumber(*limit.high));
    if (limit.low)
        return QCoreApplication::translate("MainWindow", "下限 %1").arg(limitNumber(*limit.low));
    return {};
}

QString number(double value)
{
    return QString::number(value);
}

QString limitNumber(double limit)
{
    return QString::number(limit, 'g', QLocale::FloatingPointShortest);
}

} // namespace LimitText

void LimitWatch::setLimits(const CurveLimits::Set &limits)
{
    m_limits = limits;
    m_anySet = std::any_of(limits.cbegin(), limits.cend(), [](const CurveLimit &limit) { return limit.isSet(); });
    m_curves = {};
    m_calm = true;
}

void LimitWatch::setProtectionArmed(bool armed)
{
    m_armed = armed;
    for (Curve &curve : m_curves)
        curve.run = {};
}

QList<LimitEvent> LimitWatch::add(qint64 sampleNumber, qint64 arrivalMs, const Telemetry::Sample &values)
{
    QList<LimitEvent> events;
    if (!m_anySet)
        return events;
    m_lastSample = sampleNumber;
    if (isSettled(values))
        return events;
    std::optional<int> tripped;
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        if (!m_limits[size_t(series)].isSet())
            continue;
        follow(series, sampleNumber, arrivalMs, values[size_t(series)], events);
        if (m_armed && m_curves[size_t(series)].run.add(m_curves[size_t(series)].outside) && !tripped)
            tripped = series;
    }
    if (tripped) {
        const CurveLimit &limit = m_limits[size_t(*tripped)];
        const double value = values[size_t(*tripped)];
        LimitEvent event { LimitEvent::Protection, *tripped, value, sampleNumber, {} };
        event.line = QCoreApplication::translate("MainWindow", "越限保护: %1 = %2 (%3, 样本 %4), 连续 %5 个样本, 关闭GPU电源")
                         .arg(curveName(*tripped), LimitText::number(value), LimitText::bound(limit, value))
                         .arg(sampleNumber)
                         .arg(CurveLimits::protectionSamples);
        events.append(event);
        setProtectionArmed(false);
    }
    noteCalm();
    return events;
}

// Nearly every sample of a board that behaves: each reading within its limits and no
// excursion or count under way. Such a sample changes nothing, so the receive path
// pays for the comparisons alone (an armed protection's runs are all at zero too).
bool LimitWatch::isSettled(const Telemetry::Sample &values) const
{
    if (!m_calm)
        return false;
    for (size_t series = 0; series < size_t(Telemetry::seriesCount); ++series) {
        if (!m_limits[series].admits(values[series]))
            return false;
    }
    return true;
}

void LimitWatch::noteCalm()
{
    m_calm = std::none_of(m_curves.cbegin(), m_curves.cend(),
                          [](const Curve &curve) { return curve.outside || curve.counted > 0; });
}

void LimitWatch::follow(int series, qint64 sampleNumber, qint64 arrivalMs, double value, QList<LimitEvent> &events)
{
    Curve &curve = m_curves[size_t(series)];
    const CurveLimit &limit = m_limits[size_t(series)];
    const bool outside = !limit.admits(value);
    const double excess = excessOf(limit, value);

    if (outside && !curve.outside) {
        curve.outside = true;
        curve.outSample = sampleNumber;
        curve.outMs = arrivalMs;
        curve.outSamples = 0;
        curve.worst = value;
        curve.worstExcess = excess;
        const bool quiet = curve.counted == 0 && (!curve.lastLineMs || arrivalMs - *curve.lastLineMs >= lineIntervalMs);
        curve.told = quiet;
        if (quiet) {
            events.append({ LimitEvent::Out, series, value, sampleNumber,
                            QCoreApplication::translate("MainWindow", "超出限值: %1 = %2 (%3, 样本 %4)")
                                .arg(curveName(series), LimitText::number(value), LimitText::bound(limit, value))
                                .arg(sampleNumber) });
            curve.lastLineMs = arrivalMs;
        } else {
            if (curve.counted == 0) {
                curve.countedFromSample = sampleNumber;
                curve.countedWorstExcess = -std::numeric_limits<double>::infinity();
            }
            ++curve.counted;
        }
    }
    if (outside) {
        ++curve.outSamples;
        if (excess > curve.worstExcess) {
            curve.worst = value;
            curve.worstExcess = excess;
        }
        if (!curve.told && excess > curve.countedWorstExcess) {
            curve.countedWorst = value;
            curve.countedWorstExcess = excess;
        }
    } else if (curve.outside) {
        curve.outside = false;
        if (curve.told) {
            events.append({ LimitEvent::Back, series, value, sampleNumber,
                            QCoreApplication::translate("MainWindow", "回到限值内: %1 = %2 (样本 %3, 超出 %4 个样本 %5 秒, 最差值 %6)")
                                .arg(curveName(series), LimitText::number(value))
                                .arg(sampleNumber)
                                .arg(curve.outSamples)
                                .arg(seconds(arrivalMs - curve.outMs), LimitText::number(curve.worst)) });
            curve.lastLineMs = arrivalMs;
        }
    }
    tellCounted(series, arrivalMs, events);
}

// An excursion still under way when its count is told is followed from then on
// like one told alone: its end gets a line of its own.
void LimitWatch::tellCounted(int series, qint64 nowMs, QList<LimitEvent> &events)
{
    Curve &curve = m_curves[size_t(series)];
    if (curve.counted == 0 || nowMs - curve.lastLineMs.value_or(nowMs) < lineIntervalMs)
        return;
    const QString line = curve.outside
        ? QCoreApplication::translate("MainWindow", "反复越限: %1 在 %2 秒内超出限值 %3 次 (最差值 %4, 样本 %5 至 %6), 仍在限值外")
        : QCoreApplication::translate("MainWindow", "反复越限: %1 在 %2 秒内超出限值 %3 次 (最差值 %4, 样本 %5 至 %6)");
    events.append({ LimitEvent::Chatter, series, curve.countedWorst, m_lastSample,
                    line.arg(curveName(series), seconds(nowMs - *curve.lastLineMs))
                        .arg(curve.counted)
                        .arg(LimitText::number(curve.countedWorst))
                        .arg(curve.countedFromSample)
                        .arg(m_lastSample) });
    curve.lastLineMs = nowMs;
    curve.counted = 0;
    curve.told = curve.outside;
}

QList<LimitEvent> LimitWatch::flush(qint64 nowMs)
{
    QList<LimitEvent> events;
    for (int series = 0; series < Telemetry::seriesCount; ++series)
        tellCounted(series, nowMs, events);
    noteCalm();
    return events;
}

bool LimitWatch::hasCountedExcursions() const
{
    return !m_calm && std::any_of(m_curves.cbegin(), m_curves.cend(), [](const Curve &curve) { return curve.counted > 0; });
}
