#ifndef INTERRUPTWATCH_H
#define INTERRUPTWATCH_H

#include <QObject>

// While one exists, Ctrl-C and SIGTERM (Ctrl-C and closing the console on Windows)
// do not end the process: they are delivered as interrupted() through the event
// loop, so that work stops where it is safe to stop and files are completed. A
// second request ends the process at once, for a program that no longer answers.
// The operating system's signals are process-wide: one watch at a time.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted();
};

#endif // INTERRUPTWATCH_H
