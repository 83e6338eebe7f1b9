#ifndef MQTTTELEMETRY_H
#define MQTTTELEMETRY_H

#include "core/telemetry.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <deque>

// The samples that go out as one telemetry message: consecutive sample numbers,
// at most maxSamples of them, as one JSON object whose arrays are named after the
// CSV header's curves and hold the values the CSV writes.
class MqttTelemetryBatch
{
public:
    static constexpr qsizetype maxSamples = 1000;

    bool isEmpty() const { return m_timestampsUs.isEmpty(); }
    bool isFull() const { return m_timestampsUs.size() >= maxSamples; }
    qsizetype size() const { return m_timestampsUs.size(); }
    qint64 firstSample() const { return m_firstSample; }
    qint64 firstTimestampUs() const { return m_timestampsUs.isEmpty() ? 0 : m_timestampsUs.first(); }
    qint64 lastTimestampUs() const { return m_timestampsUs.isEmpty() ? 0 : m_timestampsUs.last(); }

    // False, with nothing added, when the batch is full or the sample is not the
    // one after its last: the batch has to go out first.
    bool append(qint64 sample, qint64 timestampUs, const Telemetry::Sample &values);
    QByteArray toJson() const;

private:
    qint64 m_firstSample = 0;
    QList<qint64> m_timestampsUs;
    std::array<QList<double>, Telemetry::seriesCount> m_values;
};

// Telemetry waiting for the broker, as batches: each is written as JSON only on
// its way out, by the network's thread, so that the receive path pays for keeping
// the samples alone. A broker that is away costs a bounded span of telemetry: the
// oldest whole batches go first, and the samples they held are counted so that
// the user hears how many were lost.
class MqttTelemetryQueue
{
public:
    static constexpr qint64 defaultLimitMs = 10000;

    explicit MqttTelemetryQueue(qint64 limitMs = defaultLimitMs) : m_limitUs(limitMs * 1000) {}

    void setLimitMs(qint64 limitMs);
    // Drops the oldest batches while what is held spans more than the limit.
    void push(MqttTelemetryBatch batch);
    bool isEmpty() const { return m_batches.empty(); }
    qsizetype size() const { return qsizetype(m_batches.size()); }
    // The oldest batch; the queue must not be empty.
    MqttTelemetryBatch takeFirst();
    // Samples lost elsewhere (sent into a connection that then broke) count too.
    void countDropped(qint64 samples) { m_droppedSamples += samples; }
    // The samples dropped since the last call.
    qint64 takeDroppedSamples();

private:
    void dropBeyondLimit();

    qint64 m_limitUs;
    std::deque<MqttTelemetryBatch> m_batches;
    qint64 m_droppedSamples = 0;
};

#endif // MQTTTELEMETRY_H
