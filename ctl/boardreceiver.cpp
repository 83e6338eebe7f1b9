#include "boardreceiver.h"

#include "boardport.h"

BoardReceiver::BoardReceiver(BoardPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    connect(&m_receiver, &PortReceiver::piecesReceived, this, &BoardReceiver::deliver);
    connect(&port->serialPort(), &QSerialPort::readyRead, this, [this] {
        if (!m_stopped)
            m_receiver.take(m_port->serialPort().readAll());
    });
}

void BoardReceiver::stop()
{
    m_stopped = true;
    m_receiver.reset();
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
