#ifndef PLATFORM_H
#define PLATFORM_H

#include <QObject>
#include <QString>

#include <cstdio>

// What bench-ctl needs from the operating system beyond Qt, in one place: whether
// an output stream is a terminal, where a port name lives in the file system, a
// reader that went away told as a write error, and Ctrl-C or a termination
// request turned into a signal of the event loop.
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

// While one exists, Ctrl-C and SIGTERM (Ctrl-C and closing the console on Windows)
// do not end the process: they are delivered as interrupted() through the event
// loop, so that work stops where it is safe to stop. A second request ends the
// process at once, for a program that no longer answers.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted();
};

#endif // PLATFORM_H
