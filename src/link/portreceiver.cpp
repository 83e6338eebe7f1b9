#include "link/portreceiver.h"

PortReceiver::PortReceiver(QObject *parent)
    : QObject(parent)
{
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(ReceiveStream::holdLimitMs);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] {
        const ReceiveStream::Pieces pieces = m_stream.expireHeld();
        if (!pieces.isEmpty())
            emit piecesReceived(pieces);
    });
}

void PortReceiver::take(QByteArrayView bytes)
{
    const ReceiveStream::Pieces pieces = m_stream.take(bytes);
    // Restarted by every read: the wait ends only once the line has been quiet.
    if (m_stream.holdsBytes())
        m_holdTimer.start();
    else
        m_holdTimer.stop();
    if (!pieces.isEmpty())
        emit piecesReceived(pieces);
}

void PortReceiver::reset()
{
    m_stream.reset();
    m_holdTimer.stop();
}
