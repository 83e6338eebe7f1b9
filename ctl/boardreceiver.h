#ifndef BOARDRECEIVER_H
#define BOARDRECEIVER_H

#include "core/receivestream.h"
#include "core/telemetry.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

class BoardPort;

// What one board sends, split as the window splits it: telemetry frames wherever
// FF FF starts them, everything else as text; a frame head cut off by the driver
// waits for its rest until the line has been silent for the stream's hold limit.
class BoardReceiver : public QObject
{
    Q_OBJECT

public:
    explicit BoardReceiver(BoardPort *port, QObject *parent = nullptr);

    // Stops taking bytes in; what the port holds afterwards is left unread.
    void stop();

signals:
    void frameReceived(const Telemetry::Sample &values, const QDateTime &receivedAt);
    void textReceived(const QString &text);

private:
    void readAvailable();
    void deliver(const ReceiveStream::Pieces &pieces);

    BoardPort *const m_port;
    ReceiveStream m_stream;
    QTimer m_heldBytesTimer;
    bool m_stopped = false;
};

#endif // BOARDRECEIVER_H
