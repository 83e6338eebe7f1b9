#ifndef PORTIDENTITY_H
#define PORTIDENTITY_H

#include "core/portlisting.h"

#include <QList>
#include <QString>

#include <optional>

// Which device a port is, beyond the name it happens to have today: a USB adapter
// that comes back may get another name (ttyUSB1 for ttyUSB0), but keeps its serial
// number; a port without one is known by its system location.
struct PortIdentity
{
    QString portName;
    QString serialNumber;
    std::optional<quint16> vendorIdentifier;
    std::optional<quint16> productIdentifier;
    QString systemLocation;

    static PortIdentity of(const PortRecord &port);

    bool isEmpty() const { return portName.isEmpty() && systemLocation.isEmpty(); }
    bool matches(const PortRecord &port) const;
    // The first of the ports that is this device.
    std::optional<PortRecord> findIn(const QList<PortRecord> &ports) const;
};

#endif // PORTIDENTITY_H
