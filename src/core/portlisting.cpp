#include "core/portlisting.h"

#include <algorithm>

namespace {

QString identifierText(const std::optional<quint16> &identifier)
{
    return identifier ? QStringLiteral("%1").arg(*identifier, 4, 16, QLatin1Char('0')).toUpper()
                      : QStringLiteral("----");
}

bool isDropped(const PortRecord &port)
{
    return port.description.contains(QStringLiteral("蓝牙链接上的标准串行"))
        || port.description.contains(QStringLiteral("Standard Serial over Bluetooth link"))
        || port.description.contains(QStringLiteral("Bluetooth"), Qt::CaseInsensitive)
        || (port.vendorIdentifier && (*port.vendorIdentifier == 0x0000 || *port.vendorIdentifier == 0xFFFF));
}

} // namespace

PortListing PortListing::format(const QList<PortRecord> &ports)
{
    qsizetype maxPortNameLength = 0;
    for (const PortRecord &port : ports)
        maxPortNameLength = std::max(maxPortNameLength, port.portName.size());

    PortListing listing;
    for (const PortRecord &port : ports) {
        const QString text = QStringLiteral("%1 | %2:%3 | %4")
                                 .arg(port.portName.toUpper().leftJustified(maxPortNameLength, u' '),
                                      identifierText(port.vendorIdentifier),
                                      identifierText(port.productIdentifier),
                                      port.description);
        listing.reportedTexts.append(text);
        if (isDropped(port))
            continue;
        listing.portNames.append(port.portName);
        listing.displayTexts.append(text);
    }
    return listing;
}

int PortListing::entryToSelect(const QStringList &portNames, const QString &selectedPort, const QString &preferredPort)
{
    for (const QString &candidate : { selectedPort, preferredPort }) {
        const qsizetype index = candidate.isEmpty() ? -1 : portNames.indexOf(candidate);
        if (index >= 0)
            return int(index);
    }
    return portNames.isEmpty() ? -1 : 0;
}
