#ifndef STATUSLINE_H
#define STATUSLINE_H

#include "core/curvelimits.h"
#include "core/telemetry.h"
#include "link/mqttpublisher.h"

#include <QObject>
#include <QTimer>

#include <array>

class QLabel;
class QStatusBar;
class Recording;

// The window's status bar: the port and its line settings, bytes each way since
// the port opened, frames over the last second, the newest values, and whether a
// recording runs, whether the protection is on, and the broker's state while the
// window publishes. A value outside its curve's
// limits shows in red. Counting is cheap and happens on every arrival; the text is made
// a few times a second. A closed port keeps its counts until the next open.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    static constexpr int updateIntervalMs = 250;

    StatusLine(QStatusBar *bar, const Recording *telemetry, const Recording *raw, QObject *parent = nullptr);

    // lineSettings: "921600 8N1"
    void portOpened(const QString &portName, const QString &lineSettings);
    void portClosed();
    void addReceived(qint64 bytes) { m_received += bytes; }
    void addSent(qint64 bytes) { m_sent += bytes; }
    void addFrame(const Telemetry::Sample &values);
    void setLimits(const CurveLimits::Set &limits);
    void setProtectionOn(bool on);
    void setMqttState(MqttPublisher::State state);

    // What the bar reads, without its colours.
    QString text() const { return m_text; }

private:
    void update();
    void showText();

    QLabel *m_label;
    const Recording *const m_telemetry;
    const Recording *const m_raw;
    QTimer m_timer;
    QString m_port;
    bool m_open = false;
    qint64 m_received = 0;
    qint64 m_sent = 0;
    qint64 m_frames = 0;
    // Frame counts at the last updates, a second's worth of them.
    std::array<qint64, 1000 / updateIntervalMs> m_framesAt {};
    int m_tick = 0;
    qint64 m_framesPerSecond = 0;
    std::optional<Telemetry::Sample> m_latest;
    CurveLimits::Set m_limits {};
    bool m_protectionOn = false;
    MqttPublisher::State m_mqttState = MqttPublisher::State::Off;
    QString m_text;
};

#endif // STATUSLINE_H
