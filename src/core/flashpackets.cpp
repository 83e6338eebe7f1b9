#include "core/flashpackets.h"

#include <algorithm>
#include <cstring>

namespace FlashPackets {

qsizetype packetCount(qsizetype imageSize)
{
    return imageSize <= 0 ? 0 : (imageSize + dataBytesPerPacket - 1) / dataBytesPerPacket;
}

void fillPacket(file_update_struct &packet, const QByteArray &image, qsizetype index)
{
    const qsizetype offset = index * dataBytesPerPacket;
    Q_ASSERT(offset >= 0 && offset < image.size() && offset <= maxImageSize);

    packet.File_FRAME[0] = 0xA6;
    packet.File_FRAME[1] = 0xA6;
    packet.File_order[0] = 0x78;
    packet.File_order[1] = 0x78;
    const auto offset32 = quint32(offset);
    for (int i = 0; i < 4; ++i)
        packet.File_offset[i] = uint8_t(offset32 >> (8 * i));

    const qsizetype length = std::min(dataBytesPerPacket, image.size() - offset);
    std::memset(packet.File_data, 0xFF, sizeof packet.File_data);
    std::memcpy(packet.File_data, image.constData() + offset, size_t(length));
}

qsizetype bytesCovered(qsizetype imageSize, qsizetype packets)
{
    return std::clamp<qsizetype>(packets * dataBytesPerPacket, 0, std::max<qsizetype>(imageSize, 0));
}

} // namespace FlashPackets
