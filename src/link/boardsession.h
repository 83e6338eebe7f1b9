#ifndef BOARDSESSION_H
#define BOARDSESSION_H

#include "core/receivestream.h"
#include "link/portreceiver.h"
#include "link/portreconnect.h"
#include "link/serialporthangup.h"
#include "link/serialwriter.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

class PortRegistry;

// The board's line: 921600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
struct LineSettings
{
    qint32 baudRate = 921600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // Slack on top of the line time, for the driver and the scheduler.
    static constexpr int drainMarginMs = 200;

    void applyTo(QSerialPort &port) const;
    // "921600 8N1"
    QString text() const;
    // How long bytes need on this line to go out, plus the margin.
    int drainTimeoutMs(qint64 bytes) const;
};

// One board's serial port from open to close, for the window and bench-ctl alike:
// the line settings, the exclusive open, the writer that sends from the event loop,
// the receiver, the watch for a device that is gone and the reconnect. What happens
// is said through signals, in words for the user where there are any; the caller
// decides where they go.
//
// The session reads the port when told to (receive(), for the port's readyRead), so
// that its owner decides who takes an arrival first.
class BoardSession : public QObject
{
    Q_OBJECT

public:
    // Longest a send may wait for its bytes to leave.
    static constexpr int sendTimeoutMs = 30000;
    // A close that has not ended within this time says what it waits for.
    static constexpr int closeNoticeMs = 100;

    // The port keeps the line settings from here on; ports gives the reconnect the
    // ports to look through.
    BoardSession(QSerialPort *port, const PortRegistry *ports, QObject *parent = nullptr);

    QSerialPort *port() const { return m_port; }
    SerialWriter *writer() { return &m_writer; }
    const LineSettings &lineSettings() const { return m_settings; }

    // Open and taking sends: not while a close waits for its bytes to go out.
    bool isOpen() const { return m_port->isOpen() && !m_closing; }
    bool isClosing() const { return m_closing; }
    bool isReconnecting() const { return m_reconnect.isWatching(); }
    void setReconnectEnabled(bool enabled) { m_reconnect.setEnabled(enabled); }
    bool isReconnectEnabled() const { return m_reconnect.isEnabled(); }

    // Opens a port for reading and writing, exclusively; says opened() or
    // openFailed(). A port that is open first closes as close() does, and the new
    // one opens once it has.
    void open(const QString &portName);
    // Lets everything given to send go out, from the event loop, then closes and
    // says closed(); closeWaiting() says when that takes a while. Called again while
    // it waits, it gives up at once. Says closed() also when nothing was open.
    void close();
    // Closes at once, dropping what has not gone out.
    void closeNow();
    // Queues bytes behind those already given; false when the port is not open.
    bool send(const QByteArray &bytes, SerialWriter::Urgency urgency = SerialWriter::Urgency::Normal);
    // Takes in what the port holds; for the port's readyRead.
    void receive() { m_receiver.receive(); }
    // Reads what the driver holds that nobody was told of yet, and takes it in.
    void takeWaitingInput() { m_receiver.takeWaitingInput(); }
    // A device that is gone may be told to the writer before anyone else (Qt 6.8
    // does so): a sender that just failed asks here, so that the loss is said first.
    // True when the device is gone.
    bool checkLost();

signals:
    void opened(const QString &portName);
    // reason: the line for the user; detail: the port's error, for the developer.
    void openFailed(const QString &portName, const QString &reason, const QString &detail);
    // A close has waited a while, for pendingBytes to go out.
    void closeWaiting(qint64 pendingBytes);
    // Bytes given to send that never reached the driver: a close gave up on them.
    void unsentDropped(qint64 bytes);
    void closed();
    // The device is gone; said before the port closes. reconnecting: the reconnect
    // watches for it from now on.
    void lost(bool reconnecting);
    void reconnected(const QString &portName);
    void reconnectFailed(const QString &reason);
    void bytesReceived(const QByteArray &bytes);
    void piecesReceived(const ReceiveStream::Pieces &pieces);
    void bytesWritten(qint64 bytes);
    // A send did not go out; droppedBytes were given but never reached the driver.
    void sendFailed(const QString &reason, qint64 droppedBytes);

private:
    void openNow(const QString &portName);
    void startDrain();
    void finishClose();
    void loseDevice();

    QSerialPort *const m_port;
    const LineSettings m_settings;
    SerialWriter m_writer;
    PortReceiver m_receiver;
    SerialPortHangUpWatch m_hangUpWatch;
    PortReconnect m_reconnect;
    QTimer m_drainDeadline;
    QTimer m_closeNotice;
    bool m_closing = false;
    bool m_closeAsked = false;
    QString m_openAfterClose;
};

#endif // BOARDSESSION_H
