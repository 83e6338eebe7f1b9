#include "link/portlock.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/file.h>
#endif

namespace PortLock {

Result lockExclusive(qintptr handle)
{
#ifdef Q_OS_UNIX
    if (handle < 0)
        return NotLocked;
    int result;
    do {
        result = ::flock(int(handle), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return Locked;
    return errno == EWOULDBLOCK ? HeldElsewhere : NotLocked;
#else
    Q_UNUSED(handle)
    return NotLocked;
#endif
}

} // namespace PortLock
