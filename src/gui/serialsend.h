#ifndef SERIALSEND_H
#define SERIALSEND_H

#include <QByteArray>
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
Outcome writeAndWait(QSerialPort &port, const QByteArray &data, int timeoutMs);

} // namespace SerialSend

#endif // SERIALSEND_H
