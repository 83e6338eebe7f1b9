#ifndef PORTLISTING_H
#define PORTLISTING_H

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the platform tells about one serial port; either identifier may be absent.
struct PortRecord
{
    QString portName;
    QString description;
    std::optional<quint16> vendorIdentifier;
    std::optional<quint16> productIdentifier;
    // Empty where the adapter reports none (ptys, most built-in ports).
    QString serialNumber = {};
    // The device path or system name the port is opened by.
    QString systemLocation = {};
};

// The selector's entries and, in step with them, the names to open.
struct PortListing
{
    QStringList displayTexts;
    QStringList portNames;
    QStringList reportedTexts; // every reported port, dropped ones included

    // "%1 | %2:%3 | %4" for every port, name column padded over all reported ports,
    // then Bluetooth links and ports with vendor 0x0000 or 0xFFFF dropped.
    static PortListing format(const QList<PortRecord> &ports);

    // The selector's entry after a refresh: the port that was selected, while it is
    // still listed, so that "open" never opens another port unnoticed; else the
    // preferred port when listed; else the first entry; -1 when there is none.
    static int entryToSelect(const QStringList &portNames, const QString &selectedPort, const QString &preferredPort);
};

#endif // PORTLISTING_H
