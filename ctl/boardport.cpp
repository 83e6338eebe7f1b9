#include "boardport.h"

#include "core/consoletext.h"
#include "link/portlock.h"
#include "platform.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QSet>

BoardPort::BoardPort(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_writer(&m_port, writeTimeoutMs)
{
    m_port.setPortName(name);
    m_port.setBaudRate(921600, QSerialPort::AllDirections);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (SerialPortHangUpWatch::isLostDeviceError(error))
            loseDevice();
    });
    // Queued: closing the port deletes the notifier whose wake-up is being delivered.
    connect(&m_hangUpWatch, &SerialPortHangUpWatch::hungUp, this, &BoardPort::loseDevice, Qt::QueuedConnection);
}

bool BoardPort::isGone() const
{
    return m_lost || SerialPortHangUpWatch::isLostDeviceError(m_port.error());
}

QString BoardPort::checkArguments(const QStringList &names)
{
    QSet<QString> seen;
    for (const QString &name : names) {
        const QFileInfo info(Platform::systemLocation(name));
        if (info.isDir())
            return QStringLiteral("%1 is a folder, not a serial port").arg(name);
        if (info.isFile())
            return QStringLiteral("%1 is a regular file, not a serial port").arg(name);
        const QString identity = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
        if (seen.contains(identity))
            return QStringLiteral("%1 is given twice: one port is flashed, sent to or read by one board at a time")
                .arg(name);
        seen.insert(identity);
    }
    return {};
}

// The window's flock too: a board the console holds is not flashed behind its back.
bool BoardPort::open()
{
    const PortLock::OpenResult result = PortLock::openExclusive(&m_port);
    if (result == PortLock::Opened) {
        m_hangUpWatch.watch(&m_port);
        return true;
    }
    m_openFailure = ConsoleText::portOpenFailed() + QStringLiteral(": ") + PortLock::failureReason(result, m_port);
    return false;
}

QString BoardPort::send(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return m_lost ? lostLine() : ConsoleText::portNotOpen();
    if (bytes.isEmpty())
        return {};
    QString error;
    QEventLoop loop;
    connect(&m_writer, &SerialWriter::drained, &loop, &QEventLoop::quit);
    connect(&m_writer, &SerialWriter::failed, &loop, [&error, &loop](const QString &reason) {
        error = reason;
        loop.quit();
    });
    connect(this, &BoardPort::lost, &loop, &QEventLoop::quit);
    m_writer.send(bytes);
    if (error.isEmpty() && !m_lost)
        loop.exec();
    if (m_lost)
        return lostLine();
    return error.isEmpty() ? QString() : ConsoleText::sendFailed(error);
}

void BoardPort::close()
{
    m_writer.closeAfterDrain();
}

QString BoardPort::lostLine()
{
    return ConsoleText::portLost();
}

void BoardPort::loseDevice()
{
    if (!m_port.isOpen())
        return;
    m_lost = true;
    m_port.close();
    emit lost();
}
