#ifndef BOARDRECEIVER_H
#define BOARDRECEIVER_H

#include "core/receivestream.h"
#include "core/telemetry.h"

#include <QDateTime>
#include <QObject>

class BoardPort;

// What one board sends, as the window takes it in: telemetry frames, decoded, and
// board text, in arrival order.
class BoardReceiver : public QObject
{
    Q_OBJECT

public:
    explicit BoardReceiver(BoardPort *port, QObject *parent = nullptr);

    // Stops handing pieces out, the rest of those being handed out included.
    void stop() { m_stopped = true; }

signals:
    void frameReceived(const Telemetry::Sample &values, const QDateTime &receivedAt);
    void textReceived(const QString &text);

private:
    void deliver(const ReceiveStream::Pieces &pieces);

    bool m_stopped = false;
};

#endif // BOARDRECEIVER_H
