#include "mqtttelemetry.h"

#include <QLocale>

#include <utility>

bool MqttTelemetryBatch::append(qint64 sample, qint64 timestampUs, const Telemetry::Sample &values)
{
    if (isFull() || (!isEmpty() && sample != m_firstSample + size()))
        return false;
    if (isEmpty())
        m_firstSample = sample;
    m_timestampsUs.append(timestampUs);
    for (int series = 0; series < Telemetry::seriesCount; ++series)
        m_values[series].append(values[series]);
    return true;
}

QByteArray MqttTelemetryBatch::toJson() const
{
    // Written by hand: the keys in the CSV's order, and each value as the CSV
    // writes it, the shortest text that reads back as the reading.
    QByteArray json;
    json.reserve(64 + size() * 60);
    json += "{\"sample\":" + QByteArray::number(m_firstSample) + ",\"timestamp_us\":[";
    for (qsizetype i = 0; i < m_timestampsUs.size(); ++i) {
        if (i > 0)
            json += ',';
        json += QByteArray::number(m_timestampsUs[i]);
    }
    json += ']';
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        json += ",\"" + QByteArray(Telemetry::seriesNames[series]) + "\":[";
        const QList<double> &values = m_values[series];
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                json += ',';
            json += QByteArray::number(Telemetry::rounded(values[i]), 'g', QLocale::FloatingPointShortest);
        }
        json += ']';
    }
    json += '}';
    return json;
}

void MqttTelemetryQueue::setLimitMs(qint64 limitMs)
{
    m_limitUs = limitMs * 1000;
    dropBeyondLimit();
}

void MqttTelemetryQueue::push(MqttTelemetryBatch batch)
{
    m_batches.push_back(std::move(batch));
    dropBeyondLimit();
}

MqttTelemetryBatch MqttTelemetryQueue::takeFirst()
{
    MqttTelemetryBatch first = std::move(m_batches.front());
    m_batches.pop_front();
    return first;
}

qint64 MqttTelemetryQueue::takeDroppedSamples()
{
    return std::exchange(m_droppedSamples, 0);
}

void MqttTelemetryQueue::dropBeyondLimit()
{
    // The newest batch stays whatever its own span: it is all there is to send.
    while (m_batches.size() > 1 && m_batches.back().lastTimestampUs() - m_batches.front().firstTimestampUs() > m_limitUs) {
        m_droppedSamples += m_batches.front().size();
        m_batches.pop_front();
    }
}
