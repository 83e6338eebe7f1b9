#ifndef PORTLOCK_H
#define PORTLOCK_H

class QSerialPort;
class QString;

// Serial tools lock the device with flock as well as with lock files; two
// programs on one board would each get part of what it sends.
namespace PortLock {

enum OpenResult {
    Opened,        // and locked, or on a device or platform without flock
    OpenFailed,    // the port's error says why
    OpenButLocked, // another program holds the device's flock: closed again
};

// Opens a port for reading and writing and takes an exclusive, non-blocking flock
// on it; the lock goes with the descriptor when the port closes.
OpenResult openExclusive(QSerialPort *port);

// What the user is told after "串口打开失败" when openExclusive did not open.
QString failureReason(OpenResult result, const QSerialPort &port);

} // namespace PortLock

#endif // PORTLOCK_H
