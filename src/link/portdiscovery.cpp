#include "link/portdiscovery.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace PortDiscovery {

QList<PortRecord> platformPorts()
{
    QList<PortRecord> records;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        PortRecord record { info.portName(), info.description(), std::nullopt, std::nullopt,
                            info.serialNumber(), info.systemLocation() };
        if (info.hasVendorIdentifier())
            record.vendorIdentifier = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            record.productIdentifier = info.productIdentifier();
        records.append(record);
    }
    return records;
}

QList<PortRecord> availablePorts()
{
    return platformPorts() + PortListing::extraPorts();
}

QList<PortRecord> presentExtraPorts()
{
    QList<PortRecord> records;
    const QList<PortRecord> extra = PortListing::extraPorts();
    for (const PortRecord &port : extra) {
        // exists() follows a link, so a link left pointing at nothing is absent.
        if (QFileInfo::exists(port.portName))
            records.append(port);
    }
    return records;
}

} // namespace PortDiscovery
