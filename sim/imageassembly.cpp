#include "imageassembly.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<quint32, 256> makeCrcTable()
{
    std::array<quint32, 256> table {};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<quint32, 256> crcTable = makeCrcTable();

} // namespace

QStringList ImageAssembly::Placement::notes() const
{
    QStringList notes;
    if (refused)
        return notes;
    if (offset > expectedOffset)
        notes << QStringLiteral("skips %1 bytes after offset %2").arg(offset - expectedOffset).arg(expectedOffset);
    else if (offset < expectedOffset)
        notes << QStringLiteral("out of order, expected offset %1").arg(expectedOffset);
    if (overlappedBytes > 0) {
        notes << QStringLiteral("overlaps %1 bytes already received (%2)")
                         .arg(overlappedBytes)
                         .arg(sameData ? QStringLiteral("same data") : QStringLiteral("different data"));
    }
    return notes;
}

ImageAssembly::Placement ImageAssembly::add(quint32 offset, QByteArrayView data)
{
    Placement placement;
    placement.offset = offset;
    placement.expectedOffset = m_expectedOffset;
    if (!holds(offset)) {
        placement.refused = true;
        return placement;
    }
    if (placement.isOutOfOrder())
        ++m_outOfOrderPackets;

    const quint32 end = offset + payloadSize;
    if (end > quint32(m_image.size())) {
        const qsizetype oldSize = m_image.size();
        m_image.resize(end);
        std::fill(m_image.begin() + oldSize, m_image.end(), char(0xFF));
        m_covered.resize(end);
    }
    for (int i = 0; i < payloadSize; ++i) {
        const quint32 at = offset + quint32(i);
        if (m_covered.testBit(at)) {
            ++placement.overlappedBytes;
            placement.sameData = placement.sameData && m_image[at] == data[i];
        }
        m_image[at] = data[i];
        m_covered.setBit(at);
    }
    if (placement.overlappedBytes > 0)
        ++m_overlappingPackets;
    m_coveredBytes += payloadSize - placement.overlappedBytes;
    ++m_packets;
    m_highestOffset = qMax(m_highestOffset, offset);
    m_expectedOffset = end;
    return placement;
}

QByteArray ImageAssembly::bytes() const
{
    qsizetype end = m_image.size();
    while (end > qsizetype(m_highestOffset) && quint8(m_image[end - 1]) == 0xFF)
        --end;
    return m_image.left(end);
}

ImageReport ImageAssembly::report() const
{
    ImageReport report;
    const QByteArray image = bytes();
    report.size = image.size();
    report.crc32 = crc32(image);
    report.packets = m_packets;
    report.outOfOrderPackets = m_outOfOrderPackets;
    report.overlappingPackets = m_overlappingPackets;
    qsizetype holeStart = -1;
    for (qsizetype i = 0; i <= image.size(); ++i) {
        const bool covered = i == image.size() || m_covered.testBit(i);
        if (!covered && holeStart < 0) {
            holeStart = i;
        } else if (covered && holeStart >= 0) {
            report.holes.append({ quint32(holeStart), quint32(i - 1) });
            holeStart = -1;
        }
    }
    return report;
}

quint32 ImageAssembly::crc32(QByteArrayView data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = crcTable[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
