#include "serialsend.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <algorithm>

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
        if (deadline.hasExpired())
            return failed(port.error() == QSerialPort::TimeoutError ? port.errorString()
                                                                    : QStringLiteral("Operation timed out"));
        if (!port.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))
            && isFailure(port.error()))
            return failed(port.errorString());
    }
    if (!firstError.isEmpty() || !port.isOpen())
        return failed(port.errorString());
    QObject::disconnect(watch);
    return { true, {} };
}

} // namespace SerialSend
