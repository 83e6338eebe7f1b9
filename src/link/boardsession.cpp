#include "link/boardsession.h"

#include "link/portlock.h"

#include <QMetaEnum>

#include <algorithm>
#include <limits>
#include <utility>

void LineSettings::applyTo(QSerialPort &port) const
{
    port.setBaudRate(baudRate, QSerialPort::AllDirections);
    port.setDataBits(dataBits);
    port.setParity(parity);
    port.setStopBits(stopBits);
    port.setFlowControl(flowControl);
}

QString LineSettings::text() const
{
    const char parityLetter = parity == QSerialPort::NoParity ? 'N' : parity == QSerialPort::EvenParity ? 'E'
        : parity == QSerialPort::OddParity                    ? 'O' : parity == QSerialPort::SpaceParity ? 'S' : 'M';
    const QString stop = stopBits == QSerialPort::OneAndHalfStop ? QStringLiteral("1.5") : QString::number(int(stopBits));
    return QStringLiteral("%1 %2%3%4").arg(baudRate).arg(int(dataBits)).arg(QLatin1Char(parityLetter)).arg(stop);
}

int LineSettings::drainTimeoutMs(qint64 bytes) const
{
    // A start bit, the data bits, a parity bit if any and the stop bits.
    const qint64 bitsPerByte = 1 + int(dataBits) + (parity == QSerialPort::NoParity ? 0 : 1)
        + (stopBits == QSerialPort::OneStop ? 1 : 2);
    const qint64 lineMs = baudRate > 0 ? (std::max<qint64>(bytes, 0) * bitsPerByte * 1000 + baudRate - 1) / baudRate : 0;
    return int(std::min<qint64>(lineMs + drainMarginMs, std::numeric_limits<int>::max()));
}

BoardSession::BoardSession(QSerialPort *port, const PortRegistry *ports, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_writer(port, sendTimeoutMs)
    , m_receiver(port)
    , m_reconnect(port, ports)
{
    m_settings.applyTo(*m_port);
    // After the writer's own: a send failing on a lost device is told before the
    // loss closes the port.
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (SerialPortHangUpWatch::isLostDeviceError(error))
            loseDevice();
    });
    // Queued: closing the port deletes the very notifier whose wake-up is being
    // delivered when the watch speaks.
    connect(&m_hangUpWatch, &SerialPortHangUpWatch::hungUp, this, &BoardSession::loseDevice, Qt::QueuedConnection);
    connect(m_port, &QIODevice::bytesWritten, this, &BoardSession::bytesWritten);
    connect(&m_writer, &SerialWriter::failed, this, &BoardSession::sendFailed);
    connect(&m_writer, &SerialWriter::drained, this, [this] {
        if (m_closing)
            finishClose();
    });
    connect(&m_receiver, &PortReceiver::bytesReceived, this, &BoardSession::bytesReceived);
    connect(&m_receiver, &PortReceiver::piecesReceived, this, &BoardSession::piecesReceived);
    // Bytes from before the loss end nowhere: a frame head or half a character held
    // then would glue onto the first bytes of the device that came back.
    connect(&m_reconnect, &PortReconnect::reconnected, this, [this](const QString &portName) {
        m_receiver.reset();
        m_hangUpWatch.watch(m_port);
        emit reconnected(portName);
    });
    connect(&m_reconnect, &PortReconnect::reopenFailed, this, &BoardSession::reconnectFailed);
    m_closeNotice.setSingleShot(true);
    m_closeNotice.setInterval(closeNoticeMs);
    connect(&m_closeNotice, &QTimer::timeout, this, [this] {
        // The driver may have taken the last bytes without telling: then the close is over.
        m_writer.settle();
        if (m_closing)
            emit closeWaiting(m_writer.pendingBytes());
    });
    m_drainDeadline.setSingleShot(true);
    // Past the line time of what was pending the board is not reading: the rest
    // is dropped.
    connect(&m_drainDeadline, &QTimer::timeout, this, &BoardSession::finishClose);
}

void BoardSession::open(const QString &portName)
{
    m_reconnect.cancel();
    m_openAfterClose = portName;
    if (m_closing)
        return;
    if (m_port->isOpen() && m_writer.pendingBytes() > 0)
        startDrain();
    else
        finishClose();
}

void BoardSession::openNow(const QString &portName)
{
    m_port->setPortName(portName);
    m_receiver.reset();
    const PortLock::OpenResult result = PortLock::openExclusive(m_port);
    if (result == PortLock::Opened) {
        m_hangUpWatch.watch(m_port);
        m_reconnect.portOpened(portName);
        emit opened(portName);
        return;
    }
    const QString detail = result == PortLock::OpenButLocked
        ? QStringLiteral("flock held by another program")
        : QStringLiteral("QSerialPort::%1 %2")
              .arg(QLatin1String(QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(m_port->error())),
                   m_port->errorString());
    emit openFailed(portName, PortLock::failureReason(result, *m_port), detail);
}

void BoardSession::close()
{
    m_reconnect.cancel();
    m_openAfterClose.clear();
    m_closeAsked = true;
    // Asked again while it waits: the user will not wait any longer.
    if (!m_closing && m_port->isOpen() && m_writer.pendingBytes() > 0)
        startDrain();
    else
        finishClose();
}

void BoardSession::startDrain()
{
    m_closing = true;
    m_closeNotice.start();
    m_drainDeadline.start(m_settings.drainTimeoutMs(m_writer.pendingBytes()));
}

void BoardSession::closeNow()
{
    m_reconnect.cancel();
    m_closing = false;
    m_closeNotice.stop();
    m_drainDeadline.stop();
    if (!m_port->isOpen())
        return;
    const qint64 unsent = m_writer.abandon();
    // Only what the board sent and nobody read is thrown away with the port.
    m_port->clear(QSerialPort::Input);
    m_port->close();
    if (unsent > 0)
        emit unsentDropped(unsent);
}

// The wait is over: everything went out, its time is up, or the user gave up.
void BoardSession::finishClose()
{
    closeNow();
    if (std::exchange(m_closeAsked, false))
        emit closed();
    if (!m_openAfterClose.isEmpty())
        openNow(std::exchange(m_openAfterClose, {}));
}

bool BoardSession::send(const QByteArray &bytes, SerialWriter::Urgency urgency)
{
    if (!isOpen())
        return false;
    m_writer.send(bytes, urgency);
    return true;
}

bool BoardSession::checkLost()
{
    const bool gone = SerialPortHangUpWatch::isLostDeviceError(m_port->error());
    if (gone)
        loseDevice();
    return gone;
}

// A device that is gone (unplugged adapter, hung-up tty) keeps the port "open":
// Qt 6.4 signals the same error in a tight loop, and Qt 6.8 says nothing at all
// while its reader wakes up without end. Closing the port ends either loop, and
// later sends say plainly that the port is not open. The loss is said first:
// closing ends a running flash, whose failure follows from the loss.
void BoardSession::loseDevice()
{
    if (!m_port->isOpen())
        return;
    const bool closing = m_closing;
    emit lost(!closing && m_reconnect.wouldWatch());
    m_port->close();
    if (closing)
        finishClose();
    else
        m_reconnect.portLost();
}
