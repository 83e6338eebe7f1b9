#include "boardreceiver.h"

#include "boardport.h"

BoardReceiver::BoardReceiver(BoardPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    m_heldBytesTimer.setSingleShot(true);
    m_heldBytesTimer.setInterval(ReceiveStream::holdLimitMs);
    connect(&m_heldBytesTimer, &QTimer::timeout, this, [this] { deliver(m_stream.expireHeld()); });
    connect(&port->serialPort(), &QSerialPort::readyRead, this, &BoardReceiver::readAvailable);
}

void BoardReceiver::stop()
{
    m_stopped = true;
    m_heldBytesTimer.stop();
}

void BoardReceiver::readAvailable()
{
    if (m_stopped)
        return;
    const QByteArray bytes = m_port->serialPort().readAll();
    deliver(m_stream.take(bytes));
    if (m_stream.holdsBytes())
        m_heldBytesTimer.start();
    else
        m_heldBytesTimer.stop();
}

void BoardReceiver::deliver(const ReceiveStream::Pieces &pieces)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (const ReceivedPiece &piece : pieces) {
        // A frame may end the work (a record of N frames): the rest of the read is not taken.
        if (m_stopped)
            return;
        switch (piece.kind) {
        case ReceivedPiece::Frame:
            if (const std::optional<Telemetry::Sample> values = Telemetry::decodeFrame(piece.bytes))
                emit frameReceived(*values, now);
            break;
        case ReceivedPiece::Text:
            emit textReceived(piece.text);
            break;
        case ReceivedPiece::DroppedHead:
            break;
        }
    }
}
