#ifndef BOARDLINK_H
#define BOARDLINK_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class BoardSimulator;
class PtyPair;
class QSocketNotifier;

// The board's end of the serial line: a file descriptor, either the master of
// a pty pair whose slave the console opens, or a real serial device opened raw
// at 921600 8N1 (say a USB adapter wired to the console's own adapter).
// Bytes read are emitted with bytesReceived(); bytes given to write() go out
// one write() call each as far as the kernel takes them, the rest when the
// descriptor can take more. POSIX only; the console itself never uses it.
class BoardLink : public QObject
{
    Q_OBJECT

public:
    explicit BoardLink(QObject *parent = nullptr);
    ~BoardLink() override;

    bool openPty();
    bool openDevice(const QString &path);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    // Where the console connects: the pty's slave, or the device opened.
    QString portName() const { return m_portName; }
    QString errorString() const { return m_errorString; }
    qsizetype pendingBytes() const { return m_pending.size(); }
    // Bytes given to write() that the far end has not taken yet: those still
    // pending here, and those the kernel holds for the console or the wire.
    qsizetype undeliveredBytes() const;
    // A pty is ready once the console has opened and set up its end; a serial
    // device always is.
    bool isFarEndReady() const;
    qint64 droppedBytes() const { return m_droppedBytes; }

    // Ties a simulator to this link in both directions.
    void attach(BoardSimulator *simulator);

public Q_SLOTS:
    void write(const QByteArray &bytes);

Q_SIGNALS:
    void bytesReceived(const QByteArray &bytes);
    // The peer went away (a device unplugged) or the descriptor failed; the
    // link is closed when this is emitted.
    void disconnected(const QString &reason);
    void bytesDropped(qint64 count);

private:
    // What waits to be written is capped, so that a console that stopped
    // reading does not make the board hoard telemetry without end.
    static constexpr qsizetype maxPendingBytes = 256 * 1024;

    bool setUp(int fd, const QString &portName);
    void readAvailable();
    void writePending();
    void fail(const QString &reason);

    int m_fd = -1;
    bool m_ownsFd = false;
    std::unique_ptr<PtyPair> m_pty;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending;
    qint64 m_droppedBytes = 0;
    QString m_portName;
    QString m_errorString;
};

#endif // BOARDLINK_H
