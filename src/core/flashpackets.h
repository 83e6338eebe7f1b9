#ifndef FLASHPACKETS_H
#define FLASHPACKETS_H

#include "core/commandframes.h"

#include <QByteArray>

namespace FlashPackets {

constexpr qsizetype dataBytesPerPacket = 32;
// The packet's offset field is an unsigned 32-bit number.
constexpr qint64 maxImageSize = Q_INT64_C(0xFFFFFFFF);

// ceil(size / 32): no empty packet after an image that fills its last one.
qsizetype packetCount(qsizetype imageSize);

// Prepares packet number index of image: header A6 A6 78 78, its offset
// little-endian, and its 32 image bytes, the final short chunk padded with FF.
void fillPacket(file_update_struct &packet, const QByteArray &image, qsizetype index);

// Image bytes carried by the first `packets` packets.
qsizetype bytesCovered(qsizetype imageSize, qsizetype packets);

} // namespace FlashPackets

#endif // FLASHPACKETS_H
