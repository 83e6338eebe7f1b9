#ifndef CRC32_H
#define CRC32_H

#include <QByteArrayView>

#include <array>

// CRC-32 as zlib and IEEE 802.3 compute it (reflected 0xEDB88320, initial and final
// XOR 0xFFFFFFFF), so a flashed image's figure can be checked with any common tool.
namespace Crc32 {

inline quint32 of(QByteArrayView data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> entries {};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 value = i;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            entries[i] = value;
        }
        return entries;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace Crc32

#endif // CRC32_H
