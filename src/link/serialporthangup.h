#ifndef SERIALPORTHANGUP_H
#define SERIALPORTHANGUP_H

#include <QObject>
#include <QSerialPort>

// Notices a port whose device hung up (adapter unplugged, pty closed) when the port
// itself does not say so. Qt 6.8 reports no error then: the port's read notifier
// wakes up about 200 000 times a second, each time reading the end of file, and
// the process spins. A live port wakes its reader only with bytes to read, bar the
// odd spurious wake-up, so many wake-ups in a row without bytes mean the device is
// gone.
class SerialPortHangUpWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int hungUpAfterEmptyWakeUps = 1000;

    explicit SerialPortHangUpWatch(QObject *parent = nullptr) : QObject(parent) {}

    // The errors a port reports itself when its device is gone (unplugged
    // adapter, hung-up tty).
    static bool isLostDeviceError(QSerialPort::SerialPortError error)
    {
        return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
            || error == QSerialPort::WriteError;
    }

    // Watches the read notifier of a port that has just been opened; every
    // arrival of bytes starts the count again.
    void watch(QSerialPort *port);

signals:
    void hungUp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restartCount() { m_emptyWakeUps = 0; }

    int m_emptyWakeUps = 0;
};

#endif // SERIALPORTHANGUP_H
