#include "link/portreceiver.h"

#include <QSerialPort>

PortReceiver::PortReceiver(QSerialPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(ReceiveStream::holdLimitMs);
    connect(&m_holdTimer, &QTimer::timeout, this, &PortReceiver::holdExpired);
}

void PortReceiver::receive()
{
    const QByteArray bytes = m_port->readAll();
    if (bytes.isEmpty())
        return;
    emit bytesReceived(bytes);
    const ReceiveStream::Pieces pieces = m_stream.take(bytes);
    // Restarted by every read: the wait ends only once the line has been quiet.
    if (m_stream.holdsBytes())
        m_holdTimer.start();
    else
        m_holdTimer.stop();
    if (!pieces.isEmpty())
        emit piecesReceived(pieces);
}

void PortReceiver::takeWaitingInput()
{
    if (!m_port->isOpen())
        return;
    // Reads from the driver at once, telling readyRead's receivers as an arrival would.
    if (!m_port->waitForReadyRead(0) && m_port->error() == QSerialPort::TimeoutError)
        m_port->clearError();
    receive();
}

// The timer fires when its time is up, not when the line has been quiet: after a
// busy spell it may come before the read of the frame's tail that waits meanwhile.
void PortReceiver::holdExpired()
{
    takeWaitingInput();
    if (m_holdTimer.isActive() || !m_stream.holdsBytes())
        return;
    const ReceiveStream::Pieces pieces = m_stream.expireHeld();
    if (!pieces.isEmpty())
        emit piecesReceived(pieces);
}

void PortReceiver::reset()
{
    m_stream.reset();
    m_holdTimer.stop();
}
