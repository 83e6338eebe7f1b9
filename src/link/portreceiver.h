#ifndef PORTRECEIVER_H
#define PORTRECEIVER_H

#include "core/receivestream.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QSerialPort;

// What one port brings in, as the bytes of each read and as pieces in order:
// telemetry frames, board text and frame heads that were never completed. It owns
// the stream that finds them and the timer that ends the wait for the rest of a
// frame head held at the end of a read, once the line has been quiet for
// ReceiveStream::holdLimitMs.
class PortReceiver : public QObject
{
    Q_OBJECT

public:
    explicit PortReceiver(QSerialPort *port, QObject *parent = nullptr);

    // Takes in what the port holds; for its readyRead.
    void receive();
    // Reads what the driver has gathered but not told of yet, and takes it in: a
    // program that was busy may come to a timer before the read that was waiting.
    void takeWaitingInput();
    // A port opened anew starts a new stream: held frame heads and half characters
    // from before are let go without a word.
    void reset();

    bool holdsBytes() const { return m_stream.holdsBytes(); }

signals:
    void bytesReceived(const QByteArray &bytes);
    void piecesReceived(const ReceiveStream::Pieces &pieces);

private:
    void holdExpired();

    QSerialPort *const m_port;
    ReceiveStream m_stream;
    QTimer m_holdTimer;
};

#endif // PORTRECEIVER_H
