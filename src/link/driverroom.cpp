#include "link/driverroom.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

bool driverHasRoom(QSerialPort *port)
{
    if (!port->isOpen())
        return false;
#ifdef Q_OS_UNIX
    pollfd descriptor { port->handle(), POLLOUT, 0 };
    if (::poll(&descriptor, 1, 0) != 1)
        return false;
    return (descriptor.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0 && (descriptor.revents & POLLOUT) != 0;
#else
    return false;
#endif
}
