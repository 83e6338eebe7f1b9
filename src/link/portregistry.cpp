#include "link/portregistry.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

QList<PortRecord> PortRegistry::platformPorts()
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

void PortRegistry::addExtraPort(const PortRecord &port)
{
    const auto sameName = [&port](const PortRecord &listed) { return listed.portName == port.portName; };
    const auto listed = std::find_if(m_extraPorts.begin(), m_extraPorts.end(), sameName);
    if (listed != m_extraPorts.end())
        *listed = port;
    else
        m_extraPorts.append(port);
}

QList<PortRecord> PortRegistry::presentExtraPorts() const
{
    QList<PortRecord> records;
    for (const PortRecord &port : m_extraPorts) {
        // exists() follows a link, so a link left pointing at nothing is absent.
        if (QFileInfo::exists(port.portName))
            records.append(port);
    }
    return records;
}

QList<PortRecord> PortRegistry::list()
{
    m_lastListing = platformPorts() + m_extraPorts;
    return m_lastListing;
}

PortIdentity PortRegistry::identityOf(const QString &portName) const
{
    for (const PortRecord &port : m_lastListing) {
        if (port.portName == portName)
            return PortIdentity::of(port);
    }
    return PortIdentity { portName, {}, {}, {}, portName };
}
