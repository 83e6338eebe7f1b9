#ifndef SERIALSEND_H
#define SERIALSEND_H

#include <QByteArray>
#include <QtGlobal>
#include <QString>

class QSerialPort;

namespace SerialSend {

struct Outcome
{
    bool ok = false;
    QString error; // the port's error text when the bytes did not all go out
};

// Writes every byte, flushes, and waits only while bytes are still pending, at most
// timeoutMs: waitForBytesWritten would otherwise sit out its whole timeout once the
// flush has already handed everything to the driver.
// A send that times out drops what is still queued before it reports.
Outcome writeAndWait(QSerialPort &port, const QByteArray &data, int timeoutMs);

// Slack on top of the line time, for the driver and the scheduler.
constexpr int drainMarginMs = 200;

// How long pendingBytes need on the line at baudRate, plus the margin.
int drainTimeoutMs(qint64 pendingBytes, qint32 baudRate);

// Closes the port once what was already written has gone out, for at most the
// time it needs on the line: bytes the console took are the board's. Only input
// nobody has read yet is thrown away.
void closeAfterDrain(QSerialPort &port);

} // namespace SerialSend

#endif // SERIALSEND_H
