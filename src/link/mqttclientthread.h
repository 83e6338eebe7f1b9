#ifndef MQTTCLIENTTHREAD_H
#define MQTTCLIENTTHREAD_H

#include "core/mqtttelemetry.h"
#include "core/mqtturl.h"
#include "link/mqttpublisher.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <deque>

struct mosquitto;

// The network side of an MqttPublisher: one libmosquitto client driven on a
// thread of its own, so that connecting, a slow broker and the back-off between
// attempts never hold up the thread that feeds it. The feeding side only fills
// the bounded queues below under the lock; this thread takes from them while
// the broker is reachable, and reports what becomes of the connection through
// stateReported(), which reaches the publisher queued, on its own thread.
class MqttClientThread : public QThread
{
    Q_OBJECT

public:
    struct Connection
    {
        MqttUrl url;
        QString board;
        QString password;
        QString caFile;
    };

    explicit MqttClientThread(const Connection &connection, qint64 telemetryLimitMs);
    ~MqttClientThread() override;

    void setTelemetryLimitMs(qint64 limitMs);
    void enqueueTelemetry(MqttTelemetryBatch batch);
    void enqueueText(const QByteArray &piece);
    void enqueueEvent(const QByteArray &json);
    void setOnline(bool online);
    // Asks the thread to hand over what is queued, say "offline" and disconnect;
    // returns at once.
    void requestStop();

signals:
    // reason: the broker's or the network's words for a failure; droppedSamples:
    // with Connected, the telemetry samples lost since the last connection.
    void stateReported(MqttPublisher::State state, const QString &reason, qint64 droppedSamples);

protected:
    void run() override;

private:
    enum class Attempt { Connected, Retry, Refused };

    Attempt connectOnce(QString *reason);
    void stayConnected();
    void sayGoodbye();
    // Hands queued messages to the client while few enough are on their way.
    void publishQueued();
    bool publish(const char *kind, const QByteArray &payload, int qos, bool retain, qsizetype samples = 0);
    // Telemetry handed over but not yet written when the connection broke.
    void countLostInFlight();
    QString errorText(int error) const;
    bool stopRequested() const { return m_stopRequested.load(); }
    void waitForStop(int ms);

    static void onConnect(mosquitto *client, void *self, int result);
    static void onPublish(mosquitto *client, void *self, int messageId);
    static void onLog(mosquitto *client, void *self, int level, const char *text);

    const Connection m_connection;

    // Shared with the feeding thread, under m_mutex.
    QMutex m_mutex;
    QWaitCondition m_wake;
    MqttTelemetryQueue m_telemetry;
    std::deque<QByteArray> m_texts;
    qsizetype m_textBytes = 0;
    std::deque<QByteArray> m_events;
    bool m_online = true;
    bool m_statusToSend = true;
    std::atomic<bool> m_stopRequested{ false };

    // This thread's own.
    mosquitto *m_client = nullptr;
    int m_connackResult = -1;
    QString m_tlsError;
    QHash<int, qsizetype> m_inFlight; // message id -> telemetry samples it carries
    QSet<int> m_writtenBeforeReturn;
    QString m_lostReason;
};

#endif // MQTTCLIENTTHREAD_H
