#ifndef CAPTUREREPLAY_H
#define CAPTUREREPLAY_H

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

class BoardLink;
class QTimer;

// Sends a raw capture of what a board sent over a link again, paced at a rate in
// bytes per second: a small write every few milliseconds, as many bytes as the
// time since the last one allows. A console that does not read holds the replay
// up rather than lose bytes; on a pty it starts once the console has opened it. finished() comes once the far end has taken every
// byte, so that the link can be closed without cutting the tail off.
class CaptureReplay : public QObject
{
    Q_OBJECT

public:
    // The line's rate: 921600 baud, 8N1, ten bit times a byte.
    static constexpr int lineBytesPerSecond = 92160;

    explicit CaptureReplay(BoardLink *link, QObject *parent = nullptr);

    // Opens the capture; false, with errorString(), when it cannot be read.
    bool open(const QString &path);
    void start(int bytesPerSecond = lineBytesPerSecond);

    qint64 size() const { return m_file.size(); }
    qint64 bytesSent() const { return m_sent; }
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    void finished();
    void failed(const QString &reason);

private:
    void sendDue();

    BoardLink *m_link;
    QFile m_file;
    QString m_errorString;
    int m_rate = lineBytesPerSecond;
    QElapsedTimer m_sinceLastTick;
    QElapsedTimer m_farEndReady;
    double m_allowance = 0;
    qint64 m_sent = 0;
    int m_drainedTicks = 0;
    QTimer *m_timer;
};

#endif // CAPTUREREPLAY_H
