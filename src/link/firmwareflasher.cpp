#include "link/firmwareflasher.h"

#include "core/flashpackets.h"
#include "link/serialwriter.h"

#include <QSerialPort>
#include <QThread>

FirmwareFlasher::FirmwareFlasher(SerialWriter *writer, const QByteArray &image, QObject *parent)
    : QObject(parent)
    , m_writer(writer)
    , m_port(writer->port())
    , m_image(image)
    , m_packetCount(FlashPackets::packetCount(image.size()))
{
    // A coarse timer may fire a whole tick late, and any timer may fire a little
    // early: the precise one is asked for, and the rest of the pause is slept out.
    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setTimerType(Qt::PreciseTimer);
    m_pauseTimer.setInterval(int(pauseNs / 1000000));
    connect(&m_pauseTimer, &QTimer::timeout, this, &FirmwareFlasher::sendNextPacket);
    // Whoever closes the port (the close button, a lost device, the window going
    // away) ends the flash there and then, before another packet is tried.
    connect(m_port, &QIODevice::aboutToClose, this, &FirmwareFlasher::stop);
    connect(m_writer, &SerialWriter::drained, this, &FirmwareFlasher::packetTaken);
    connect(m_writer, &SerialWriter::failed, this, [this](const QString &reason) {
        if (m_running)
            fail(reason);
    });
}

qsizetype FirmwareFlasher::bytesSent() const
{
    return FlashPackets::bytesCovered(m_image.size(), m_packetsSent);
}

void FirmwareFlasher::start()
{
    if (m_running)
        return;
    m_running = true;
    m_packetsSent = 0;
    emit progress(0, m_image.size());
    sendNextPacket();
}

void FirmwareFlasher::stop()
{
    // A packet the driver took whole counts, told of or not.
    if (m_running && m_packetInFlight)
        m_writer->settle();
    if (m_running)
        fail({});
}

void FirmwareFlasher::fail(const QString &sendError)
{
    m_running = false;
    m_packetInFlight = false;
    m_pauseTimer.stop();
    emit failed(sendError);
}

void FirmwareFlasher::waitOutPause() const
{
    if (m_packetsSent == 0)
        return;
    for (qint64 left = pauseNs - m_sinceHandOver.nsecsElapsed(); left > 0;
         left = pauseNs - m_sinceHandOver.nsecsElapsed())
        QThread::usleep((unsigned long)((left + 999) / 1000));
}

void FirmwareFlasher::sendNextPacket()
{
    if (!m_running)
        return;
    waitOutPause();
    if (m_packetsSent == m_packetCount) {
        m_running = false;
        emit finished();
        return;
    }
    if (!m_port->isOpen()) {
        fail({});
        return;
    }

    FlashPackets::fillPacket(file_update, m_image, m_packetsSent);
    m_packetInFlight = true;
    m_writer->send(CommandFrames::frameBytes(file_update));
}

void FirmwareFlasher::packetTaken()
{
    if (!m_running || !m_packetInFlight)
        return;
    m_packetInFlight = false;
    ++m_packetsSent;
    emit progress(bytesSent(), m_image.size());
    // Whoever shows the progress may have stopped the flash. The pause starts
    // after the display, a few microseconds, so that the board's pause holds
    // however late a reader of the progress looks at the clock.
    if (!m_running)
        return;
    m_sinceHandOver.start();
    m_pauseTimer.start();
}
