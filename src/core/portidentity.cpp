#include "core/portidentity.h"

PortIdentity PortIdentity::of(const PortRecord &port)
{
    return { port.portName, port.serialNumber, port.vendorIdentifier, port.productIdentifier,
             port.systemLocation.isEmpty() ? port.portName : port.systemLocation };
}

bool PortIdentity::matches(const PortRecord &port) const
{
    if (!serialNumber.isEmpty()) {
        return port.serialNumber == serialNumber && port.vendorIdentifier == vendorIdentifier
            && port.productIdentifier == productIdentifier;
    }
    const QString location = port.systemLocation.isEmpty() ? port.portName : port.systemLocation;
    return !location.isEmpty() && location == (systemLocation.isEmpty() ? portName : systemLocation);
}

std::optional<PortRecord> PortIdentity::findIn(const QList<PortRecord> &ports) const
{
    for (const PortRecord &port : ports) {
        if (matches(port))
            return port;
    }
    return std::nullopt;
}
