#ifndef SERIALSEND_H
#define SERIALSEND_H

#include <QByteArray>
#include <QtGlobal>

class QSerialPort;

namespace SerialSend {

// Slack on top of the line time, for the driver and the scheduler.
constexpr int drainMarginMs = 200;

// How long pendingBytes need on the line at baudRate, plus the margin.
int drainTimeoutMs(qint64 pendingBytes, qint32 baudRate);

// Closes the port once what was already written has gone out, for at most the
// time it needs on the line: bytes the console took are the board's. Only input
// nobody has read yet is thrown away. Blocks for that time: a queue of 1 MiB
// holds the caller about 11 s at 921600 baud. Returns the bytes the port still
// held, which closing threw away.
qint64 closeAfterDrain(QSerialPort &port);

} // namespace SerialSend

#endif // SERIALSEND_H
