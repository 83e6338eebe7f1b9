#ifndef PLATFORM_H
#define PLATFORM_H

#include "core/interruptwatch.h"

#include <QString>

#include <cstdio>

// What bench-ctl needs from the operating system beyond Qt, in one place: whether
// an output stream is a terminal, where a port name lives in the file system, and
// a reader that went away told as a write error. Ctrl-C or a termination request
// turned into a signal of the event loop is the InterruptWatch it shares with the
// window.
namespace Platform {

bool isTerminal(std::FILE *stream);

// The device path QSerialPort opens for a port name: "ttyUSB0" is /dev/ttyUSB0,
// a path stays as it is.
QString systemLocation(const QString &portName);

// Writing to a pipe whose reader has gone (bench-ctl ... | head) fails with an
// error from then on, instead of ending the process on the spot: a recording
// still completes its files and tells the board to stop plotting.
void ignoreBrokenPipe();

} // namespace Platform

#endif // PLATFORM_H
