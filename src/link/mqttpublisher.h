#ifndef MQTTPUBLISHER_H
#define MQTTPUBLISHER_H

#include "core/mqtttelemetry.h"
#include "core/telemetry.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>

class MqttClientThread;
class QTimer;

// Publishes one board's telemetry, text and events to an MQTT broker, for the
// window and bench-ctl alike, under <prefix>/<board>/:
//   telemetry  the samples of the last 100 ms (at most 1000) as one JSON object, QoS 0
//   text       the board's text as it came, in pieces of at most 4 KiB, QoS 0
//   event      one JSON object per event, QoS 1
//   status     retained "online" while connected and the line is up, "offline" else
//              (also the last will, for a process or connection that dies)
// The broker is never in the way: every call returns at once, the network lives on
// a thread of its own, a broker that is down or slow costs a bounded queue (at most
// 10 s of telemetry, the oldest dropped first) and retries with back-off (1 s
// doubling to 30 s). A refused login or a TLS failure is said once and not retried.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        // mqtt://[user@]host[:port]/prefix or mqtts://…
        QString url;
        // The topic level under the prefix; the caller fills in its default.
        QString board;
        // From BENCH_MQTT_PASSWORD or the window's field; empty for none.
        QString password;
        // mqtts only: the CA certificate to trust; empty for the system's store.
        QString caFile;
    };

    enum class State {
        Off,          // not started, or stopped
        Connecting,   // the first attempt
        Connected,
        Reconnecting, // lost, or not yet reached: retrying with back-off
        Failed,       // refused for good (login, TLS): not retried
    };
    Q_ENUM(State)

    explicit MqttPublisher(QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Empty when the settings can be used, else the line saying why not (a URL that
    // does not parse, a CA file that cannot be read, an empty board name).
    static QString check(const Settings &settings);

    // Starts connecting; a publisher already started stops first. False, with
    // nothing started, when check() refuses the settings.
    bool start(const Settings &settings);
    // Says "offline", hands over what is queued for a short bounded while, and
    // disconnects. Does nothing when not started.
    void stop();

    State state() const { return m_state; }
    // The broker as the user gave it, without the password, for the status bar.
    QString brokerText() const;

    // The board's line: "online" is published only while it is up (up until told
    // otherwise, kept across start()).
    void setLineUp(bool up);
    // timestampUs: the arrival, in microseconds since the Unix epoch.
    void addSample(qint64 sample, qint64 timestampUs, const Telemetry::Sample &values);
    void addText(const QByteArray &bytes);
    void addEvent(const QJsonObject &event);

    // How much telemetry waits for a broker that is away (10 s unless set), so a
    // test's short outage can fill it.
    void setTelemetryQueueLimitMs(qint64 limitMs);

signals:
    void stateChanged(MqttPublisher::State state);
    // A line for the user: the failure said once ("MQTT 连接失败: …"), a reconnect
    // with how much was dropped meanwhile.
    void message(const QString &line);

private:
    bool accepting() const;
    void setState(State state);
    void onClientState(MqttPublisher::State state, const QString &reason, qint64 droppedSamples);
    void sendBatch();

    State m_state = State::Off;
    std::unique_ptr<MqttClientThread> m_client;
    QString m_brokerText;
    bool m_lineUp = true;
    qint64 m_telemetryLimitMs = MqttTelemetryQueue::defaultLimitMs;
    MqttTelemetryBatch m_batch;
    // Sends a batch that fills no further when the board falls quiet.
    QTimer *m_batchTimer;
    // An outage's failure is said once, and the connection after it says what it cost.
    bool m_failureSaid = false;
    bool m_connectedBefore = false;
};

#endif // MQTTPUBLISHER_H
