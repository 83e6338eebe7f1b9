#include "link/portdiscovery.h"

#include <QSerialPortInfo>

namespace PortDiscovery {

QList<PortRecord> availablePorts()
{
    QList<PortRecord> records;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        PortRecord record { info.portName(), info.description(), std::nullopt, std::nullopt };
        if (info.hasVendorIdentifier())
            record.vendorIdentifier = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            record.productIdentifier = info.productIdentifier();
        records.append(record);
    }
    return records + PortListing::extraPorts();
}

} // namespace PortDiscovery
