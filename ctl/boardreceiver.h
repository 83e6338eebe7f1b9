#ifndef BOARDRECEIVER_H
#define BOARDRECEIVER_H

#include "core/receivestream.h"
#include "core/telemetry.h"
#include "link/portreceiver.h"

#include <QDateTime>
#include <QObject>

class BoardPort;

// What one board sends, as the window takes it in (the link's PortReceiver):
// telemetry frames, decoded, and board text, in arrival order.
class BoardReceiver : public QObject
{
    Q_OBJECT

public:
    explicit BoardReceiver(BoardPort *port, QObject *parent = nullptr);

    // Stops taking bytes in; what the port holds afterwards is left unread, and
    // what is left of the pieces being handed out is dropped.
    void stop();

signals:
    void frameReceived(const Telemetry::Sample &values, const QDateTime &receivedAt);
    void textReceived(const QString &text);

private:
    void deliver(const ReceiveStream::Pieces &pieces);

    BoardPort *const m_port;
    PortReceiver m_receiver;
    bool m_stopped = false;
};

#endif // BOARDRECEIVER_H
