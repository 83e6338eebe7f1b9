// Cutting a firmware image into update packets.
//
// Input: the image itself. Its first eight bytes, taken as a number, also give
// one image size far beyond what fits in memory, to check the packet arithmetic
// over the whole range the packet's offset field can address.

#include "core/flashpackets.h"
#include "fuzzsupport.h"

#include <QByteArray>

#include <algorithm>

namespace {

qint64 expectedPacketCount(qint64 imageSize)
{
    return imageSize <= 0 ? 0 : imageSize / 32 + (imageSize % 32 != 0 ? 1 : 0);
}

void checkArithmetic(qint64 imageSize)
{
    const qint64 packets = FlashPackets::packetCount(imageSize);
    FUZZ_REQUIRE(packets == expectedPacketCount(imageSize));
    FUZZ_REQUIRE(FlashPackets::bytesCovered(imageSize, 0) == 0);
    FUZZ_REQUIRE(FlashPackets::bytesCovered(imageSize, packets) == std::max<qint64>(imageSize, 0));
    FUZZ_REQUIRE(FlashPackets::bytesCovered(imageSize, packets + 1) == std::max<qint64>(imageSize, 0));
    if (packets > 0) {
        // The last packet carries at least one byte, and at most a whole packet's worth.
        const qint64 beforeLast = FlashPackets::bytesCovered(imageSize, packets - 1);
        FUZZ_REQUIRE(beforeLast == (packets - 1) * 32);
        FUZZ_REQUIRE(beforeLast < imageSize && imageSize - beforeLast <= 32);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static_assert(sizeof(file_update_struct) == 40, "an update packet is 40 bytes on the wire");

    if (size >= sizeof(quint64)) {
        quint64 raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        const auto farSize = qint64(raw % quint64(FlashPackets::maxImageSize + 1));
        checkArithmetic(farSize);
        checkArithmetic(-farSize);
    }

    // libFuzzer hands over an allocation exactly as long as the input, so reading
    // past the image's end is reported by AddressSanitizer.
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype imageSize = image.size();
    checkArithmetic(imageSize);

    // One packet reused for the whole image, as the console does: nothing of the
    // previous packet may survive into the next.
    file_update_struct packet;
    std::memset(&packet, 0x5A, sizeof packet);
    QByteArray reassembled;
    const qsizetype packets = FlashPackets::packetCount(imageSize);
    for (qsizetype index = 0; index < packets; ++index) {
        FlashPackets::fillPacket(packet, image, index);
        uint8_t wire[sizeof packet];
        std::memcpy(wire, &packet, sizeof wire);

        FUZZ_REQUIRE(wire[0] == 0xA6 && wire[1] == 0xA6 && wire[2] == 0x78 && wire[3] == 0x78);
        const quint32 offset = quint32(wire[4]) | quint32(wire[5]) << 8 | quint32(wire[6]) << 16
                               | quint32(wire[7]) << 24;
        FUZZ_REQUIRE(offset == quint64(index) * 32);

        const qsizetype carried = std::min<qsizetype>(32, imageSize - qsizetype(offset));
        FUZZ_REQUIRE(carried > 0);
        reassembled.append(reinterpret_cast<const char *>(wire + 8), carried);
        for (qsizetype i = carried; i < 32; ++i)
            FUZZ_REQUIRE(wire[8 + i] == 0xFF);
        FUZZ_REQUIRE(FlashPackets::bytesCovered(imageSize, index + 1) == qsizetype(offset) + carried);
    }
    FUZZ_REQUIRE(reassembled == image);
    return 0;
}
