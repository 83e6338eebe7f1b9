#include "link/serialporthangup.h"

#include <QEvent>
#include <QSerialPort>
#include <QSocketNotifier>

void SerialPortHangUpWatch::watch(QSerialPort *port)
{
    m_emptyWakeUps = 0;
    connect(port, &QSerialPort::readyRead, this, &SerialPortHangUpWatch::restartCount, Qt::UniqueConnection);
    // The notifiers are the port's own; where the platform has none (Windows
    // waits on overlapped I/O) the port reports a lost device by its errors.
    const QList<QSocketNotifier *> notifiers = port->findChildren<QSocketNotifier *>();
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read) {
            notifier->removeEventFilter(this);
            notifier->installEventFilter(this);
        }
    }
}

bool SerialPortHangUpWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::SockAct && ++m_emptyWakeUps == hungUpAfterEmptyWakeUps)
        emit hungUp();
    return QObject::eventFilter(watched, event);
}
