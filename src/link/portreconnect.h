#ifndef PORTRECONNECT_H
#define PORTRECONNECT_H

#include "core/portidentity.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class PortRegistry;
class QSerialPort;

// Opens the port again when the device that was lost comes back: the same device
// (PortIdentity), never another one, with the settings the port object keeps. It
// watches only when turned on, only after a loss, and until the device is back and
// open or the user opens, closes or turns it off. A device that is back but does
// not open is tried again on every check while it is there; each new reason is
// told once.
class PortReconnect : public QObject
{
    Q_OBJECT

public:
    // A board's reset takes longer than this.
    static constexpr int checkIntervalMs = 250;
    // Listing the platform's ports takes milliseconds, too much four times a second.
    // They are listed again for a while after the device folder changed (a device
    // node came or went; the platform's list may lag behind it), and now and then
    // in case a device arrives unseen there.
    static constexpr int relistChecksAfterChange = 4;
    static constexpr int relistEveryChecks = 20;

    PortReconnect(QSerialPort *port, const PortRegistry *ports, QObject *parent = nullptr);

    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    bool isWatching() const { return m_timer.isActive(); }
    // Whether a loss now would start the watch.
    bool wouldWatch() const { return m_enabled && !m_identity.isEmpty(); }

    // The user opened this port: it is the device a later loss watches for.
    void portOpened(const QString &portName);
    // The open port's device is gone; the port is already closed.
    void portLost();
    // Stops watching, when the user takes over the port.
    void cancel();

signals:
    void reconnected(const QString &portName);
    void reopenFailed(const QString &reason);

private:
    void check();
    QList<PortRecord> platformPorts();

    QSerialPort *const m_port;
    const PortRegistry *const m_ports;
    QTimer m_timer;
    PortIdentity m_identity;
    QString m_toldFailure;
    QList<PortRecord> m_platformPorts;
    QDateTime m_deviceFolderTime;
    int m_checksToRelist = 0;
    bool m_enabled = false;
};

#endif // PORTRECONNECT_H
