#include "boardreceiver.h"

#include "boardport.h"

BoardReceiver::BoardReceiver(BoardPort *port, QObject *parent)
    : QObject(parent)
{
    connect(&port->session(), &BoardSession::piecesReceived, this, &BoardReceiver::deliver);
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
