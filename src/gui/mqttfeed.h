#ifndef MQTTFEED_H
#define MQTTFEED_H

#include "core/charttrigger.h"
#include "core/limitwatch.h"
#include "core/telemetry.h"
#include "link/mqttpublisher.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class BoardSession;
class FirmwareFlasher;

// What the window hands its publisher: every sample with the wall clock's time of
// its arrival, the board's text, and the window's events as the same JSON objects
// bench-ctl prints with --json. While nothing is published it does no work, so the
// receive path pays nothing for it.
class MqttFeed : public QObject
{
    Q_OBJECT

public:
    explicit MqttFeed(QObject *parent = nullptr);

    MqttPublisher *publisher() const { return m_publisher; }
    bool isPublishing() const { return m_publisher->state() != MqttPublisher::State::Off; }

    // The settings were checked; the board's line is said up where a port is open.
    bool start(const MqttPublisher::Settings &settings);
    void stop();

    void portOpened(const QString &portName);
    void portClosed();
    void portLost(bool reconnecting);
    void portReconnected(const QString &portName);

    void addSample(qint64 sampleNumber, const Telemetry::Sample &values);
    void addText(const QString &text);

    // Progress every tenth of the image, and the result, as bench-ctl's flash says them.
    void followFlash(const FirmwareFlasher *flasher, const BoardSession *session);
    void addLimitEvents(const QList<LimitEvent> &events);
    void addTrigger(const ChartTrigger::Settings &settings, const ChartTrigger::Capture &capture);

    // The name the board goes by under the prefix when the user gives none: the
    // adapter's serial number, else the port's own name.
    static QString defaultBoardName(const QString &portName, const QString &serialNumber);

private:
    void addEvent(const QString &name, QJsonObject fields);
    void flashEnded(const FirmwareFlasher *flasher, const QString &reason, const QString &message);

    MqttPublisher *const m_publisher;
    QString m_port;
    int m_flashTenthsSent = 0;
    QElapsedTimer m_flashClock;
};

#endif // MQTTFEED_H
