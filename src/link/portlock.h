#ifndef PORTLOCK_H
#define PORTLOCK_H

#include <QtGlobal>

namespace PortLock {

enum Result {
    Locked,
    HeldElsewhere, // another program holds the device with flock
    NotLocked,     // no flock here, or the device cannot take one: opened as before
};

// Takes an exclusive, non-blocking flock on an open port's descriptor, as other
// serial tools do; it goes with the descriptor when the port closes.
Result lockExclusive(qintptr handle);

} // namespace PortLock

#endif // PORTLOCK_H
