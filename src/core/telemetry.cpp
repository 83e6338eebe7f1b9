#include "telemetry.h"

namespace Telemetry {

bool startsTelemetryFrame(const QByteArray &chunk)
{
    return chunk.size() >= 2 && uchar(chunk[0]) == 0xFF && uchar(chunk[1]) == 0xFF;
}

std::optional<Sample> decodeFrame(const QByteArray &chunk)
{
    if (chunk.size() < frameLength)
        return std::nullopt;
    const auto reading = [&chunk](int offset) { return double(qint8(chunk[offset])); };
    return Sample { reading(5), reading(6), reading(7) * 0.27, reading(8) * 0.45, reading(9) };
}

} // namespace Telemetry

ReceiveRouter::Result ReceiveRouter::route(const QByteArray &chunk)
{
    QByteArray bytes = m_held.isEmpty() ? chunk : m_held + chunk;
    m_held.clear();

    const bool frameHead = !bytes.isEmpty() && uchar(bytes[0]) == 0xFF
                           && (bytes.size() == 1 || uchar(bytes[1]) == 0xFF);
    if (frameHead && bytes.size() < Telemetry::frameLength) {
        m_held = bytes;
        return { Held, {} };
    }
    if (Telemetry::startsTelemetryFrame(bytes))
        return { Telemetry, bytes };
    return { Text, bytes };
}

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
