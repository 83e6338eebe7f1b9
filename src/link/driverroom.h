#ifndef DRIVERROOM_H
#define DRIVERROOM_H

class QSerialPort;

// Whether the driver behind an open port takes bytes now without waiting, so that
// handing it a short piece at once cannot be refused for want of room (a refusal
// the port reports as a lost device). False where that cannot be told: the caller
// then leaves the piece to the event loop, which waits for the driver to ask.
bool driverHasRoom(QSerialPort *port);

#endif // DRIVERROOM_H
