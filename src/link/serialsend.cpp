#include "link/serialsend.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSignalBlocker>

#include <algorithm>
#include <limits>

namespace {

bool isFailure(QSerialPort::SerialPortError error)
{
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}

} // namespace

namespace SerialSend {

int drainTimeoutMs(qint64 pendingBytes, qint32 baudRate)
{
    // Ten bits a byte on an 8N1 line.
    const qint64 lineMs = baudRate > 0 ? (std::max<qint64>(pendingBytes, 0) * 10 * 1000 + baudRate - 1) / baudRate : 0;
    return int(std::min<qint64>(lineMs + drainMarginMs, std::numeric_limits<int>::max()));
}

qint64 closeAfterDrain(QSerialPort &port)
{
    if (!port.isOpen())
        return 0;
    const QDeadlineTimer deadline(drainTimeoutMs(port.bytesToWrite(), port.baudRate(QSerialPort::Output)));
    {
        // Waiting reads what arrives meanwhile, which is dropped below: nobody is
        // told of it as arrived, nor of the bytes that leave.
        const QSignalBlocker quiet(port);
        while (port.bytesToWrite() > 0 && !deadline.hasExpired()) {
            if (!port.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))
                && isFailure(port.error()))
                break;
        }
    }
    if (!port.isOpen())
        return 0;
    const qint64 unsent = port.bytesToWrite();
    port.clear(QSerialPort::Input);
    port.close();
    return unsent;
}

} // namespace SerialSend
