#include "mqttclientthread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>

#include <mosquitto.h>

#include <cerrno>

namespace {

// A broker that takes the connection but never answers it costs this long an attempt.
constexpr int connackTimeoutMs = 5000;
constexpr int keepAliveSeconds = 10;
constexpr int firstRetryMs = 1000;
constexpr int longestRetryMs = 30000;
// How long one turn of the client's loop waits for the network before looking at
// the queues again: the latency of a message queued while the line is quiet.
constexpr int loopTurnMs = 20;
// Messages handed to libmosquitto and not yet written: beyond these the queues
// here hold them, where their bound and their dropping are ours.
constexpr qsizetype maxInFlight = 16;
// A board chattering into a broker that is away keeps its newest text.
constexpr qsizetype maxQueuedTextBytes = 1 << 20;
constexpr size_t maxQueuedEvents = 1000;
// At the end, what is queued gets this long to go out, and then "offline".
constexpr int goodbyeMs = 1000;

} // namespace

MqttClientThread::MqttClientThread(const Connection &connection, qint64 telemetryLimitMs)
    : m_connection(connection), m_telemetry(telemetryLimitMs)
{
}

MqttClientThread::~MqttClientThread()
{
    requestStop();
    wait();
}

void MqttClientThread::setTelemetryLimitMs(qint64 limitMs)
{
    const QMutexLocker locker(&m_mutex);
    m_telemetry.setLimitMs(limitMs);
}

void MqttClientThread::enqueueTelemetry(MqttTelemetryBatch batch)
{
    const QMutexLocker locker(&m_mutex);
    m_telemetry.push(std::move(batch));
}

void MqttClientThread::enqueueText(const QByteArray &piece)
{
    const QMutexLocker locker(&m_mutex);
    m_texts.push_back(piece);
    m_textBytes += piece.size();
    while (m_textBytes > maxQueuedTextBytes && m_texts.size() > 1) {
        m_textBytes -= m_texts.front().size();
        m_texts.pop_front();
    }
}

void MqttClientThread::enqueueEvent(const QByteArray &json)
{
    const QMutexLocker locker(&m_mutex);
    m_events.push_back(json);
    if (m_events.size() > maxQueuedEvents)
        m_events.pop_front();
}

void MqttClientThread::setOnline(bool online)
{
    const QMutexLocker locker(&m_mutex);
    if (online != m_online) {
        m_online = online;
        m_statusToSend = true;
    }
}

void MqttClientThread::requestStop()
{
    const QMutexLocker locker(&m_mutex);
    m_stopRequested = true;
    m_wake.wakeAll();
}

void MqttClientThread::run()
{
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client) {
        emit stateReported(MqttPublisher::State::Failed, errorText(MOSQ_ERR_NOMEM), 0);
        return;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, onConnect);
    mosquitto_publish_callback_set(m_client, onPublish);
    mosquitto_log_callback_set(m_client, onLog);
    const QByteArray statusTopic = m_connection.url.topic(m_connection.board, "status").toUtf8();
    mosquitto_will_set(m_client, statusTopic.constData(), 7, "offline", 1, true);
    const QByteArray user = m_connection.url.user.toUtf8();
    const QByteArray password = m_connection.password.toUtf8();
    if (!user.isEmpty())
        mosquitto_username_pw_set(m_client, user.constData(), password.isEmpty() ? nullptr : password.constData());
    QString reason;
    bool refused = false;
    if (m_connection.url.tls) {
        int result = MOSQ_ERR_SUCCESS;
        if (m_connection.caFile.isEmpty()) {
            // OpenSSL's own store: the system's CAs wherever the platform keeps them.
            result = mosquitto_int_option(m_client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            const QByteArray caFile = m_connection.caFile.toLocal8Bit();
            result = mosquitto_tls_set(m_client, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        }
        if (result != MOSQ_ERR_SUCCESS) {
            reason = errorText(result);
            refused = true;
        }
    }

    int retryMs = firstRetryMs;
    bool reachedBefore = false;
    while (!refused && !stopRequested()) {
        emit stateReported(reachedBefore ? MqttPublisher::State::Reconnecting : MqttPublisher::State::Connecting, {},
                           0);
        const Attempt attempt = connectOnce(&reason);
        if (stopRequested())
            break;
        if (attempt == Attempt::Refused) {
            refused = true;
            break;
        }
        if (attempt == Attempt::Connected) {
            retryMs = firstRetryMs;
            stayConnected();
            if (stopRequested())
                break;
            reason = m_lostReason;
        }
        reachedBefore = true;
        emit stateReported(MqttPublisher::State::Reconnecting, reason, 0);
        waitForStop(retryMs);
        retryMs = qMin(retryMs * 2, longestRetryMs);
    }
    if (refused)
        emit stateReported(MqttPublisher::State::Failed, reason, 0);
    mosquitto_destroy(m_client);
    m_client = nullptr;
}

MqttClientThread::Attempt MqttClientThread::connectOnce(QString *reason)
{
    m_connackResult = -1;
    m_tlsError.clear();
    countLostInFlight();
    const QByteArray host = m_connection.url.host.toUtf8();
    int result = mosquitto_connect(m_client, host.constData(), m_connection.url.port, keepAliveSeconds);
    const QDeadlineTimer answerDeadline(connackTimeoutMs);
    while (result == MOSQ_ERR_SUCCESS && m_connackResult < 0 && !stopRequested()) {
        if (answerDeadline.hasExpired()) {
            *reason = QCoreApplication::translate("MainWindow", "代理在 %1 秒内没有应答").arg(connackTimeoutMs / 1000);
            return Attempt::Retry;
        }
        result = mosquitto_loop(m_client, loopTurnMs, 1);
    }
    if (m_connackResult == 0)
        return Attempt::Connected;
    if (m_connackResult > 0) {
        *reason = QString::fromUtf8(mosquitto_connack_string(m_connackResult));
        // A refused login or an unknown client is refused again however often
        // it is tried: said once, not retried.
        return m_connackResult == 4 || m_connackResult == 5 ? Attempt::Refused : Attempt::Retry;
    }
    // A certificate that does not check out will not check out next time either.
    // Some builds of the library say so only in OpenSSL's log line, returning a
    // lost connection or nothing at all.
    if (result == MOSQ_ERR_TLS || !m_tlsError.isEmpty()) {
        *reason = m_tlsError.isEmpty() ? errorText(result) : m_tlsError;
        return Attempt::Refused;
    }
    if (result == MOSQ_ERR_SUCCESS)
        return Attempt::Retry;
    *reason = errorText(result);
    return Attempt::Retry;
}

void MqttClientThread::stayConnected()
{
    {
        const QMutexLocker locker(&m_mutex);
        m_statusToSend = true;
        const qint64 dropped = m_telemetry.takeDroppedSamples();
        emit stateReported(MqttPublisher::State::Connected, {}, dropped);
    }
    while (!stopRequested()) {
        publishQueued();
        const int result = mosquitto_loop(m_client, loopTurnMs, 1);
        if (result != MOSQ_ERR_SUCCESS) {
            m_lostReason = errorText(result);
            countLostInFlight();
            return;
        }
    }
    sayGoodbye();
}

void MqttClientThread::sayGoodbye()
{
    const QDeadlineTimer deadline(goodbyeMs);
    const auto drained = [this] {
        const QMutexLocker locker(&m_mutex);
        return m_telemetry.isEmpty() && m_texts.empty() && m_events.empty() && !m_statusToSend;
    };
    while (!(drained() && m_inFlight.isEmpty()) && !deadline.hasExpired()) {
        publishQueued();
        if (mosquitto_loop(m_client, loopTurnMs, 1) != MOSQ_ERR_SUCCESS)
            return;
    }
    // Said however little time is left: a program that quits leaves "offline".
    publish("status", QByteArrayLiteral("offline"), 1, true);
    const QDeadlineTimer offlineDeadline(qMax<qint64>(deadline.remainingTime(), goodbyeMs / 2));
    while (!m_inFlight.isEmpty() && !offlineDeadline.hasExpired()) {
        if (mosquitto_loop(m_client, loopTurnMs, 1) != MOSQ_ERR_SUCCESS)
            return;
    }
    mosquitto_disconnect(m_client);
    const QDeadlineTimer disconnectDeadline(200);
    while (!disconnectDeadline.hasExpired() && mosquitto_loop(m_client, loopTurnMs, 1) == MOSQ_ERR_SUCCESS) {
    }
}

void MqttClientThread::publishQueued()
{
    while (m_inFlight.size() < maxInFlight) {
        QMutexLocker locker(&m_mutex);
        if (m_statusToSend) {
            m_statusToSend = false;
            const QByteArray status = m_online ? QByteArrayLiteral("online") : QByteArrayLiteral("offline");
            locker.unlock();
            publish("status", status, 1, true);
        } else if (!m_events.empty()) {
            const QByteArray event = std::move(m_events.front());
            m_events.pop_front();
            locker.unlock();
            publish("event", event, 1, false);
        } else if (!m_telemetry.isEmpty()) {
            const MqttTelemetryBatch batch = m_telemetry.takeFirst();
            locker.unlock();
            if (!publish("telemetry", batch.toJson(), 0, false, batch.size())) {
                const QMutexLocker relocker(&m_mutex);
                m_telemetry.countDropped(batch.size());
            }
        } else if (!m_texts.empty()) {
            const QByteArray text = std::move(m_texts.front());
            m_texts.pop_front();
            m_textBytes -= text.size();
            locker.unlock();
            publish("text", text, 0, false);
        } else {
            return;
        }
    }
}

bool MqttClientThread::publish(const char *kind, const QByteArray &payload, int qos, bool retain, qsizetype samples)
{
    const QByteArray topic = m_connection.url.topic(m_connection.board, kind).toUtf8();
    int messageId = 0;
    m_writtenBeforeReturn.clear();
    const int result = mosquitto_publish(m_client, &messageId, topic.constData(), int(payload.size()),
                                         payload.constData(), qos, retain);
    if (result != MOSQ_ERR_SUCCESS)
        return false;
    // A QoS 0 message may be written, and reported, before the call returns.
    if (!m_writtenBeforeReturn.contains(messageId))
        m_inFlight.insert(messageId, samples);
    return true;
}

void MqttClientThread::countLostInFlight()
{
    qint64 lost = 0;
    for (const qsizetype samples : std::as_const(m_inFlight))
        lost += samples;
    m_inFlight.clear();
    if (lost > 0) {
        const QMutexLocker locker(&m_mutex);
        m_telemetry.countDropped(lost);
    }
}

QString MqttClientThread::errorText(int error) const
{
    if (error == MOSQ_ERR_ERRNO)
        return qt_error_string(errno);
    if (error == MOSQ_ERR_TLS && !m_tlsError.isEmpty())
        return m_tlsError;
    return QString::fromUtf8(mosquitto_strerror(error));
}

void MqttClientThread::waitForStop(int ms)
{
    QMutexLocker locker(&m_mutex);
    const QDeadlineTimer deadline(ms);
    while (!m_stopRequested && !deadline.hasExpired())
        m_wake.wait(&m_mutex, deadline);
}

void MqttClientThread::onConnect(mosquitto *, void *self, int result)
{
    static_cast<MqttClientThread *>(self)->m_connackResult = result;
}

void MqttClientThread::onPublish(mosquitto *, void *self, int messageId)
{
    auto *thread = static_cast<MqttClientThread *>(self);
    if (!thread->m_inFlight.remove(messageId))
        thread->m_writtenBeforeReturn.insert(messageId);
}

void MqttClientThread::onLog(mosquitto *, void *self, int level, const char *text)
{
    // OpenSSL's reason for a failed handshake reaches us only as a log line.
    auto *thread = static_cast<MqttClientThread *>(self);
    if (!(level & MOSQ_LOG_ERR) || !thread->m_tlsError.isEmpty())
        return;
    const QString line = QString::fromUtf8(text);
    if (line.contains(QLatin1String("OpenSSL")))
        thread->m_tlsError = line;
}
