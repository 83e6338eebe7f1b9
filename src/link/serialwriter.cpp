#include "link/serialwriter.h"

#include "link/driverroom.h"
#include "link/serialporthangup.h"

#include <QSerialPort>

#include <algorithm>
#include <utility>

SerialWriter::SerialWriter(QSerialPort *port, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_timeoutMs(timeoutMs)
{
    m_clock.start();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &SerialWriter::checkDeadline);
    connect(m_port, &QIODevice::bytesWritten, this, &SerialWriter::handOver);
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (!SerialPortHangUpWatch::isLostDeviceError(error))
            return;
        settle();
        if (!m_queue.isEmpty() && error != QSerialPort::ReadError)
            fail(m_port->errorString());
    });
    connect(m_port, &QIODevice::aboutToClose, this, &SerialWriter::portClosing);
}

qint64 SerialWriter::pendingBytes() const
{
    return m_queuedBytes + (m_port->isOpen() ? m_port->bytesToWrite() : 0);
}

void SerialWriter::send(const QByteArray &data, Urgency urgency)
{
    if (data.isEmpty())
        return;
    m_queue.enqueue({ data, 0, m_clock.elapsed() });
    m_queuedBytes += data.size();
    m_sending = true;
    if (!m_deadline.isActive())
        m_deadline.start(m_timeoutMs);
    handOver();
    // The port's flush() writes to the driver here and now, and takes a full driver
    // for a lost device: it is used only for a piece that is all the port holds,
    // on a driver that has room. The port still reports the bytes written from the
    // event loop, where handOver() learns of them as for any other piece.
    if (urgency == Urgency::Urgent && m_queuedBytes == 0 && m_port->bytesToWrite() == data.size()
        && driverHasRoom(m_port))
        m_port->flush();
}

void SerialWriter::handOver()
{
    // The port writes to the driver from the event loop, when the driver asks for
    // more: its flush() would take a driver that is full for a write error.
    // Writing may still report through bytesWritten, which lands here again.
    if (m_handingOver)
        return;
    m_handingOver = true;
    bool nowDrained = false;
    // The port holds at most one piece: the next goes once the driver has taken it.
    while (m_port->isOpen() && m_port->bytesToWrite() == 0) {
        while (!m_queue.isEmpty() && m_queue.head().handedOver == m_queue.head().bytes.size())
            m_queue.dequeue();
        if (m_queue.isEmpty()) {
            nowDrained = std::exchange(m_sending, false);
            m_deadline.stop();
            break;
        }
        Send &head = m_queue.head();
        const qsizetype size = std::min(pieceSize, head.bytes.size() - head.handedOver);
        if (m_port->write(head.bytes.constData() + head.handedOver, size) != size) {
            m_handingOver = false;
            fail(m_port->errorString());
            return;
        }
        head.handedOver += size;
        m_queuedBytes -= size;
    }
    m_handingOver = false;
    if (nowDrained)
        emit drained();
}

void SerialWriter::settle()
{
    if (m_handingOver || !m_port->isOpen() || m_port->bytesToWrite() > 0)
        return;
    while (!m_queue.isEmpty() && m_queue.head().handedOver == m_queue.head().bytes.size())
        m_queue.dequeue();
    if (m_queue.isEmpty() && std::exchange(m_sending, false)) {
        m_deadline.stop();
        emit drained();
    }
}

void SerialWriter::checkDeadline()
{
    settle();
    if (m_queue.isEmpty())
        return;
    const qint64 ageMs = m_clock.elapsed() - m_queue.head().givenAtMs;
    if (ageMs < m_timeoutMs) {
        m_deadline.start(int(m_timeoutMs - ageMs));
        return;
    }
    fail(m_port->error() == QSerialPort::TimeoutError ? m_port->errorString()
                                                      : QStringLiteral("Operation timed out"));
}

void SerialWriter::fail(const QString &reason)
{
    const qint64 dropped = m_queuedBytes;
    m_queue.clear();
    m_queuedBytes = 0;
    m_sending = false;
    m_deadline.stop();
    emit failed(reason.isEmpty() ? QStringLiteral("Unknown error") : reason, dropped);
}

void SerialWriter::portClosing()
{
    settle();
    if (!m_queue.isEmpty())
        fail(m_port->errorString());
}

qint64 SerialWriter::abandon()
{
    settle();
    const qint64 abandoned = pendingBytes();
    m_queue.clear();
    m_queuedBytes = 0;
    m_sending = false;
    m_deadline.stop();
    return abandoned;
}
