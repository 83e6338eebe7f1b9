#ifndef BOARDPORT_H
#define BOARDPORT_H

#include "link/serialporthangup.h"
#include "link/serialwriter.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>

// One board's serial port, with the window's line settings (921600 8N1, no flow
// control) and its way of noticing a device that is gone: a port error that means
// the device is lost, or the hang-up watch, closes the port and says lost().
class BoardPort : public QObject
{
    Q_OBJECT

public:
    static constexpr int writeTimeoutMs = 30000;

    explicit BoardPort(const QString &name, QObject *parent = nullptr);

    // Why these port arguments cannot be used, before any is opened: a path that is
    // a regular file or a folder rather than a device, or one port named twice (also
    // through a symbolic link). Empty when they can.
    static QString checkArguments(const QStringList &names);

    bool open();
    QString name() const { return m_name; }
    // The window's line and reason when open() failed.
    QString openFailure() const { return m_openFailure; }
    bool isLost() const { return m_lost; }
    // Lost, or failing the way a device that is gone fails, before anyone said so.
    bool isGone() const;
    QSerialPort &serialPort() { return m_port; }
    // Writes for this port from the event loop; the flasher hands its packets here.
    SerialWriter &writer() { return m_writer; }

    // Sends bytes as the window does, and runs the event loop until they have left
    // or failed; the port's error text when they did not go out.
    QString send(const QByteArray &bytes);
    // Lets what was written reach the line, then closes.
    void close();

    static QString lostLine();

signals:
    void lost();

private:
    void loseDevice();

    const QString m_name;
    QSerialPort m_port;
    SerialWriter m_writer;
    SerialPortHangUpWatch m_hangUpWatch;
    QString m_openFailure;
    bool m_lost = false;
};

#endif // BOARDPORT_H
