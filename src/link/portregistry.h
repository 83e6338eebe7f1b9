#ifndef PORTREGISTRY_H
#define PORTREGISTRY_H

#include "core/portidentity.h"
#include "core/portlisting.h"

#include <QList>
#include <QObject>
#include <QString>

// The ports a program offers: the platform's, then those added by hand, which
// nothing enumerates (a simulated board on a pty, a link to one), and the port to
// start on when it is listed. The window, its reconnect and its remembered choices
// share one; each program (and each test) makes its own.
class PortRegistry : public QObject
{
    Q_OBJECT

public:
    explicit PortRegistry(QObject *parent = nullptr) : QObject(parent) {}

    // The platform's own list, which can take milliseconds to make.
    static QList<PortRecord> platformPorts();

    // Listed on every later listing, after the platform's ports; a port of the same
    // name is replaced.
    void addExtraPort(const PortRecord &port);
    QList<PortRecord> extraPorts() const { return m_extraPorts; }
    // The added ports whose path exists now: the platform lists only devices that
    // are there.
    QList<PortRecord> presentExtraPorts() const;

    // The port the selector starts on when it lists it (the demo's simulated board)
    // rather than the platform's first port, which on some hosts is a kernel console.
    void setPreferredPort(const QString &portName) { m_preferredPort = portName; }
    QString preferredPort() const { return m_preferredPort; }

    // The platform's ports and the added ones, as they are now; kept as the last listing.
    QList<PortRecord> list();
    QList<PortRecord> lastListing() const { return m_lastListing; }
    // Which device a port of the last listing is; a port not in it is known by its name.
    PortIdentity identityOf(const QString &portName) const;

private:
    QList<PortRecord> m_extraPorts;
    QList<PortRecord> m_lastListing;
    QString m_preferredPort;
};

#endif // PORTREGISTRY_H
