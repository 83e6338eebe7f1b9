#include "commandline.h"

#include "core/consoletext.h"
#include "core/portlisting.h"
#include "link/portregistry.h"

#include <QJsonValue>

namespace {

QJsonValue identifier(const std::optional<quint16> &value)
{
    if (!value)
        return QJsonValue::Null;
    return QString::number(*value, 16).toUpper().rightJustified(4, u'0');
}

} // namespace

int runList(CommandLine &commandLine)
{
    commandLine.parser().setApplicationDescription(
        QStringLiteral("Lists the serial ports the console's port selector lists, with the same filter and "
                       "the same lines."));
    if (const std::optional<int> done = commandLine.parse())
        return *done;
    Output &output = commandLine.output();

    const QList<PortRecord> ports = PortRegistry::platformPorts();
    const PortListing listing = PortListing::format(ports);
    if (listing.portNames.isEmpty())
        output.info(ConsoleText::noPortAvailable());
    for (qsizetype i = 0; i < listing.portNames.size(); ++i) {
        output.info(listing.displayTexts.at(i));
        const auto record = std::find_if(ports.cbegin(), ports.cend(), [&](const PortRecord &port) {
            return port.portName == listing.portNames.at(i);
        });
        output.event(QStringLiteral("port"), {
            { QStringLiteral("name"), listing.portNames.at(i) },
            { QStringLiteral("description"), record->description },
            { QStringLiteral("vendor_id"), identifier(record->vendorIdentifier) },
            { QStringLiteral("product_id"), identifier(record->productIdentifier) },
            { QStringLiteral("text"), listing.displayTexts.at(i) },
        });
    }
    return ExitSuccess;
}
