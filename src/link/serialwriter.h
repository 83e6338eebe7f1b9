#ifndef SERIALWRITER_H
#define SERIALWRITER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QTimer>

class QSerialPort;

// Sends byte arrays on one port from the event loop, in the order given, never
// waiting in a blocking call. The port gets one piece at a time, the next only once
// the driver has taken the last, so what is not yet the driver's stays here and can
// be dropped honestly: the port's own clear(Output) would also throw away bytes the
// driver already took, and waitForBytesWritten sits out its whole timeout once they
// are all in the kernel.
// A send that has not left within the timeout, counted from when it was given, fails:
// everything still queued here is dropped; the piece the port holds goes out whole
// when the line moves again, or is thrown away when the port closes.
class SerialWriter : public QObject
{
    Q_OBJECT

public:
    // Largest piece handed to the port at once; a flash packet is always one piece.
    static constexpr qsizetype pieceSize = 4096;

    SerialWriter(QSerialPort *port, int timeoutMs, QObject *parent = nullptr);

    QSerialPort *port() const { return m_port; }
    // For sends given from now on.
    void setTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }
    enum class Urgency {
        // Handed to the driver from the event loop's next turn, after whatever the
        // window has to repaint.
        Normal,
        // Handed to the driver before send returns, when it is all the port holds
        // and the driver has room; otherwise as Normal, behind what is queued.
        Urgent,
    };

    // Queues data behind what is already queued; the port must be open.
    void send(const QByteArray &data, Urgency urgency = Urgency::Normal);
    // Bytes given that have not yet left the port's buffer.
    qint64 pendingBytes() const;
    bool isIdle() const { return pendingBytes() == 0; }
    // Gives up on everything given that has not left the port's buffer, for a port
    // about to close: nothing more is handed over and nothing is told as failed.
    // Returns how many bytes that was.
    qint64 abandon();
    // The port tells of what the driver took only on its next write wake-up, which
    // does not come while the driver is full: bytes that left the port's buffer
    // were taken all the same. Emits drained when that was the last of them.
    void settle();

signals:
    // Everything given so far has left the port's buffer.
    void drained();
    // A send did not go out; droppedBytes were given but never reached the driver
    // and never will.
    void failed(const QString &reason, qint64 droppedBytes);

private:
    void handOver();
    void checkDeadline();
    void fail(const QString &reason);
    void portClosing();

    QSerialPort *const m_port;
    int m_timeoutMs;
    struct Send
    {
        QByteArray bytes;
        qsizetype handedOver = 0;
        qint64 givenAtMs = 0;
    };
    QQueue<Send> m_queue;
    qint64 m_queuedBytes = 0; // not yet handed to the port
    QElapsedTimer m_clock;
    QTimer m_deadline;
    bool m_handingOver = false;
    bool m_sending = false; // given bytes not yet known to have left
};

#endif // SERIALWRITER_H
