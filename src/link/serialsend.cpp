#include "link/serialsend.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <algorithm>
#include <limits>

namespace {

bool isFailure(QSerialPort::SerialPortError error)
{
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}

} // namespace

namespace SerialSend {

Outcome writeAndWait(QSerialPort &port, const QByteArray &data, int timeoutMs)
{
    if (data.isEmpty())
        return { true, {} };

    // A failing descriptor may get the port closed by whoever watches its errors
    // before control comes back here; keep the first error's text for the report.
    QString firstError;
    const QMetaObject::Connection watch =
        QObject::connect(&port, &QSerialPort::errorOccurred, &port, [&port, &firstError](QSerialPort::SerialPortError error) {
            if (firstError.isEmpty() && isFailure(error))
                firstError = port.errorString();
        });
    const auto failed = [&](const QString &fallback) {
        QObject::disconnect(watch);
        return Outcome { false, firstError.isEmpty() ? fallback : firstError };
    };

    port.clearError();
    if (port.write(data) != data.size())
        return failed(port.errorString());
    port.flush();

    const QDeadlineTimer deadline(timeoutMs);
    while (port.isOpen() && port.bytesToWrite() > 0 && firstError.isEmpty()) {
        if (deadline.hasExpired()) {
            const QString reason = port.error() == QSerialPort::TimeoutError ? port.errorString()
                                                                             : QStringLiteral("Operation timed out");
            // A send reported as failed must not reach the board later on.
            port.clear(QSerialPort::Output);
            return failed(reason);
        }
        if (!port.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))
            && isFailure(port.error()))
            return failed(port.errorString());
    }
    if (!firstError.isEmpty() || !port.isOpen())
        return failed(port.errorString());
    QObject::disconnect(watch);
    return { true, {} };
}

int drainTimeoutMs(qint64 pendingBytes, qint32 baudRate)
{
    // Ten bits a byte on an 8N1 line.
    const qint64 lineMs = baudRate > 0 ? (std::max<qint64>(pendingBytes, 0) * 10 * 1000 + baudRate - 1) / baudRate : 0;
    return int(std::min<qint64>(lineMs + drainMarginMs, std::numeric_limits<int>::max()));
}

void closeAfterDrain(QSerialPort &port)
{
    if (!port.isOpen())
        return;
    const QDeadlineTimer deadline(drainTimeoutMs(port.bytesToWrite(), port.baudRate(QSerialPort::Output)));
    while (port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))
            && isFailure(port.error()))
            break;
    }
    // A lost device may have got the port closed while it drained.
    if (!port.isOpen())
        return;
    port.clear(QSerialPort::Input);
    port.close();
}

} // namespace SerialSend
