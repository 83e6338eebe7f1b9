#include "link/portlock.h"

#include "core/portopenfailure.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/file.h>
#endif

namespace {

// True only when another program holds the lock: a device that cannot take one
// opens as before.
bool heldElsewhere(qintptr handle)
{
#ifdef Q_OS_UNIX
    if (handle < 0)
        return false;
    int result;
    do {
        result = ::flock(int(handle), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result != 0 && errno == EWOULDBLOCK;
#else
    Q_UNUSED(handle)
    return false;
#endif
}

} // namespace

namespace PortLock {

OpenResult openExclusive(QSerialPort *port)
{
    if (!port->open(QIODevice::ReadWrite))
        return OpenFailed;
    if (!heldElsewhere(port->handle()))
        return Opened;
    port->close();
    return OpenButLocked;
}

QString failureReason(OpenResult result, const QSerialPort &port)
{
    if (result == OpenButLocked)
        return PortOpenFailure::busyReason();
    return PortOpenFailure::reason(port.error() == QSerialPort::PermissionError, port.errorString());
}

} // namespace PortLock
