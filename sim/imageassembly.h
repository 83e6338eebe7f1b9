#ifndef IMAGEASSEMBLY_H
#define IMAGEASSEMBLY_H

#include <QBitArray>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QStringList>

struct ImageReport
{
    qsizetype size = 0;
    quint32 crc32 = 0;
    int packets = 0;
    int outOfOrderPackets = 0;
    int overlappingPackets = 0;
    // Ranges [first, last] inside the image that no packet covered.
    QList<QPair<quint32, quint32>> holes;
    QString writtenTo;
    QString writeError;
};

Q_DECLARE_METATYPE(ImageReport)

// An image put together from the console's update packets, as a value: packets
// go in with add(), the image and what was odd about its packets come out.
//
// The board cannot know the real length of an image, as the console pads its
// last packet with 0xFF and sends no length. The image is therefore taken as
// everything up to the end of the packet with the highest offset, with the
// trailing 0xFF bytes of that packet trimmed: an image that really ends in 0xFF
// bytes is reported shorter than the file, and the CRC-32 reported is over the
// trimmed image. Bytes no packet covered read as 0xFF, as erased flash does.
class ImageAssembly
{
public:
    static constexpr int payloadSize = 32;
    // Packets reaching beyond this offset are refused rather than grow the image.
    static constexpr quint32 maxImageSize = 64 * 1024 * 1024;

    // What one packet did to the image, for the line that reports it.
    struct Placement
    {
        quint32 offset = 0;
        // Where the packet after the one before would have started.
        quint32 expectedOffset = 0;
        bool refused = false;
        int overlappedBytes = 0;
        bool sameData = true;

        bool isOutOfOrder() const { return !refused && offset < expectedOffset; }
        // Gaps, packets out of order and overlaps, in words; none for a packet in its place.
        QStringList notes() const;
    };

    static bool holds(quint32 offset) { return offset <= maxImageSize - payloadSize; }
    // data holds payloadSize bytes; a packet the image cannot hold is refused.
    Placement add(quint32 offset, QByteArrayView data);

    QByteArray bytes() const;
    ImageReport report() const;
    qint64 coveredBytes() const { return m_coveredBytes; }
    int packets() const { return m_packets; }

    static quint32 crc32(QByteArrayView data);

private:
    QByteArray m_image;
    QBitArray m_covered;
    quint32 m_highestOffset = 0;
    quint32 m_expectedOffset = 0;
    qint64 m_coveredBytes = 0;
    int m_packets = 0;
    int m_outOfOrderPackets = 0;
    int m_overlappingPackets = 0;
};

#endif // IMAGEASSEMBLY_H
