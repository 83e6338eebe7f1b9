#ifndef FIRMWAREFLASHER_H
#define FIRMWAREFLASHER_H

#include "core/commandframes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSerialPort;

class SerialWriter;

// Sends an image to the board as update packets, one at a time, from the event
// loop: each packet is handed to the port's writer, and once the driver has taken
// it whole the board gets at least pauseNs to take it before the next one; the
// window keeps working meanwhile, whether the board reads or not.
// The flash ends by itself (finished), when a packet fails to go out or when the
// port is closed under it (failed), or by stop(). A packet already handed over
// when the flash ends stays with the port and goes out whole. Each packet is built in the
// process-wide update record, like every other frame the console sends.
class FirmwareFlasher : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 pauseNs = 1000000;

    FirmwareFlasher(SerialWriter *writer, const QByteArray &image, QObject *parent = nullptr);

    void start();
    // Ends a running flash as failed, with no send error; nothing more is written.
    void stop();

    bool isRunning() const { return m_running; }
    qsizetype imageSize() const { return m_image.size(); }
    // Image bytes carried by the packets the driver took whole.
    qsizetype bytesSent() const;

signals:
    // After the start (0) and after every packet.
    void progress(qsizetype bytesSent, qsizetype imageSize);
    void finished();
    // sendError is the port's text when a packet did not go out; empty when the
    // flash was stopped or the port closed.
    void failed(const QString &sendError);

private:
    void sendNextPacket();
    void packetTaken();
    void waitOutPause() const;
    void fail(const QString &sendError);

    SerialWriter *const m_writer;
    QSerialPort *const m_port;
    const QByteArray m_image;
    const qsizetype m_packetCount;
    qsizetype m_packetsSent = 0;
    bool m_running = false;
    bool m_packetInFlight = false;
    QTimer m_pauseTimer;
    QElapsedTimer m_sinceHandOver;
};

#endif // FIRMWAREFLASHER_H
