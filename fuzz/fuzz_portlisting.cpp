// The port selector's entries, built from whatever the platform reports.
//
// Input: read with FuzzedDataProvider: a port count (0 to 8), then for each port
// its name and description, each made of up to three pieces that are either raw
// UTF-8 or one of the texts below (libFuzzer cannot see inside Qt's string
// search, so it would hardly find "Bluetooth" by itself), and its optional vendor
// and product identifiers.

#include "fuzzsupport.h"
#include "core/portlisting.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

namespace {

const QStringList nameFragments {
    QStringLiteral("COM3"), QStringLiteral("com12"), QStringLiteral("ttyUSB0"), QStringLiteral("ttyACM1"),
    QStringLiteral("cu.usbserial-1410"), QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral(" | "),
    QStringLiteral(" "),
};

const QStringList descriptionFragments {
    QStringLiteral("Bluetooth"), QStringLiteral("bluetooth"), QStringLiteral("BLUETOOTH"),
    QStringLiteral("blueTOOTH"), QStringLiteral("Blue tooth"), QStringLiteral("Standard Serial over Bluetooth link"),
    QStringLiteral("蓝牙链接上的标准串行"), QStringLiteral("蓝牙链接上的标准"), QStringLiteral("USB-SERIAL CH340"),
    QStringLiteral(" (COM5)"), QStringLiteral(" | "), QStringLiteral("%1"), QStringLiteral("%4"), QStringLiteral(":"),
};

QString fuzzedText(FuzzedDataProvider &provider, const QStringList &fragments)
{
    QString text;
    const int pieces = provider.ConsumeIntegralInRange(0, 3);
    for (int piece = 0; piece < pieces; ++piece) {
        if (provider.ConsumeBool())
            text += fragments.at(provider.ConsumeIntegralInRange<qsizetype>(0, fragments.size() - 1));
        else
            text += QString::fromStdString(provider.ConsumeRandomLengthString(16));
    }
    return text;
}

std::optional<quint16> fuzzedIdentifier(FuzzedDataProvider &provider)
{
    if (!provider.ConsumeBool())
        return std::nullopt;
    return provider.ConsumeIntegral<quint16>();
}

QString identifierText(const std::optional<quint16> &identifier)
{
    if (!identifier)
        return QStringLiteral("----");
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", unsigned(*identifier));
    return QString::fromLatin1(digits);
}

// "Bluetooth" in any letter case, compared by hand rather than by the string
// search under test.
bool mentionsBluetooth(const QString &description)
{
    static const QString word = QStringLiteral("bluetooth");
    for (qsizetype start = 0; start + word.size() <= description.size(); ++start) {
        bool same = true;
        for (qsizetype i = 0; same && i < word.size(); ++i) {
            char16_t c = description.at(start + i).unicode();
            if (c >= u'A' && c <= u'Z')
                c = char16_t(c - u'A' + u'a');
            same = c == word.at(i).unicode();
        }
        if (same)
            return true;
    }
    return false;
}

bool shouldBeDropped(const PortRecord &port)
{
    return mentionsBluetooth(port.description)
        || port.description.contains(QStringLiteral("蓝牙链接上的标准串行"))
        || (port.vendorIdentifier && (*port.vendorIdentifier == 0x0000 || *port.vendorIdentifier == 0xFFFF));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    QList<PortRecord> ports(provider.ConsumeIntegralInRange(0, 8));
    for (PortRecord &port : ports) {
        port.portName = fuzzedText(provider, nameFragments);
        port.description = fuzzedText(provider, descriptionFragments);
        port.vendorIdentifier = fuzzedIdentifier(provider);
        port.productIdentifier = fuzzedIdentifier(provider);
    }

    const PortListing listing = PortListing::format(ports);
    FUZZ_REQUIRE(listing.reportedTexts.size() == ports.size());
    FUZZ_REQUIRE(listing.displayTexts.size() == listing.portNames.size());
    FUZZ_REQUIRE(listing.portNames.size() <= ports.size());

    qsizetype longestName = 0;
    for (const PortRecord &port : ports)
        longestName = std::max(longestName, port.portName.size());

    qsizetype kept = 0;
    for (qsizetype index = 0; index < ports.size(); ++index) {
        const PortRecord &port = ports.at(index);
        const QString &text = listing.reportedTexts.at(index);

        // Name column: the upper-cased name, blank-padded to the longest name
        // over every reported port, dropped ones included. The width is measured
        // on the names as reported, so a name that upper-casing lengthens (U+00DF
        // becomes "SS", U+0149 two characters) pushes its own separators right;
        // every other entry lines up.
        const QString upperName = port.portName.toUpper();
        FUZZ_REQUIRE(text.startsWith(upperName));
        const qsizetype columnWidth = std::max(longestName, upperName.size());
        for (qsizetype i = upperName.size(); i < columnWidth; ++i)
            FUZZ_REQUIRE(text.at(i) == u' ');

        const QString rest = text.mid(columnWidth);
        const QString identifiers = identifierText(port.vendorIdentifier) + u':' + identifierText(port.productIdentifier);
        FUZZ_REQUIRE(rest == QStringLiteral(" | ") + identifiers + QStringLiteral(" | ") + port.description);

        if (shouldBeDropped(port))
            continue;
        FUZZ_REQUIRE(kept < listing.portNames.size());
        FUZZ_REQUIRE(listing.portNames.at(kept) == port.portName);
        FUZZ_REQUIRE(listing.displayTexts.at(kept) == text);
        ++kept;
    }
    FUZZ_REQUIRE(kept == listing.portNames.size());
    return 0;
}
