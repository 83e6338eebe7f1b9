#include "framedecoder.h"

#include <QTimer>

namespace {

using FrameKind = FrameDecoder::FrameKind;

constexpr int frameLengthReset = 8;
constexpr int frameLengthApp = 4;
constexpr int frameLengthGpu = 8;
constexpr int frameLengthRegister = 8;
constexpr int frameLengthUpdate = 40;

constexpr quint8 resetFrame[frameLengthReset] = { 0xA4, 0xA4, 0x72, 0x65, 0x73, 0x65, 0x74, 0x00 };

constexpr FrameKind allKinds[] = {
    FrameKind::Reset,      FrameKind::EraseApp,   FrameKind::JumpToApp,    FrameKind::Gpu,
    FrameKind::AdRegister, FrameKind::DaRegister, FrameKind::UpdatePacket,
};

int frameLength(FrameKind kind)
{
    switch (kind) {
    case FrameKind::Reset:
        return frameLengthReset;
    case FrameKind::EraseApp:
    case FrameKind::JumpToApp:
        return frameLengthApp;
    case FrameKind::Gpu:
        return frameLengthGpu;
    case FrameKind::AdRegister:
    case FrameKind::DaRegister:
        return frameLengthRegister;
    case FrameKind::UpdatePacket:
        return frameLengthUpdate;
    }
    return 0;
}

// Besides the header, every byte the console never varies is checked, so that
// stray bytes that happen to look like a header are not taken for a frame.
bool byteFits(FrameKind kind, int index, quint8 byte)
{
    switch (kind) {
    case FrameKind::Reset:
        return byte == resetFrame[index];
    case FrameKind::EraseApp:
        return index > 2 || byte == (index < 2 ? 0xA9 : 0x9A);
    case FrameKind::JumpToApp:
        return index > 2 || byte == (index < 2 ? 0xA8 : 0x9B);
    case FrameKind::Gpu:
        switch (index) {
        case 0:
        case 1:
            return byte == 0xA5;
        case 3:
            return byte == 0x00;
        case 6:
        case 7:
            return byte == 0xAE;
        default:
            return true;
        }
    case FrameKind::AdRegister:
    case FrameKind::DaRegister: {
        const bool ad = kind == FrameKind::AdRegister;
        switch (index) {
        case 0:
            return byte == (ad ? 0x96 : 0x91);
        case 1:
            return byte == (ad ? 0x53 : 0x22);
        case 2:
            return byte == 0x00 || byte == 0x01;
        case 3:
            return byte == 0x00;
        default:
            return true;
        }
    }
    case FrameKind::UpdatePacket:
        switch (index) {
        case 0:
        case 1:
            return byte == 0xA6;
        case 2:
        case 3:
            return byte == 0x78;
        default:
            return true;
        }
    }
    return false;
}

} // namespace

FrameDecoder::FrameDecoder(QObject *parent)
    : QObject(parent),
      m_partialFrameTimer(new QTimer(this))
{
    m_partialFrameTimer->setSingleShot(true);
    m_partialFrameTimer->setInterval(500);
    connect(m_partialFrameTimer, &QTimer::timeout, this, &FrameDecoder::dropStalePartialFrame);
}

void FrameDecoder::setIdleTimeout(int milliseconds)
{
    if (m_partialFrameTimer->interval() != qMax(1, milliseconds))
        m_partialFrameTimer->setInterval(qMax(1, milliseconds));
}

int FrameDecoder::idleTimeout() const
{
    return m_partialFrameTimer->interval();
}

void FrameDecoder::receive(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    // A slot reached from one of our own signals may feed more bytes; the loop
    // that is running already picks them up from the buffer.
    if (m_decoding)
        return;
    decodeBuffer();
}

FrameDecoder::FrameMatch FrameDecoder::matchFrame(qsizetype position) const
{
    const qsizetype available = m_buffer.size() - position;
    FrameMatch best;
    for (const FrameKind kind : allKinds) {
        const int length = frameLength(kind);
        const qsizetype checked = qMin<qsizetype>(length, available);
        bool fits = true;
        for (qsizetype i = 0; i < checked && fits; ++i)
            fits = byteFits(kind, int(i), quint8(m_buffer[position + i]));
        if (!fits)
            continue;
        if (checked == length)
            return { Match::Complete, kind, length };
        best = { Match::Partial, kind, length };
    }
    return best;
}

void FrameDecoder::decodeBuffer()
{
    m_decoding = true;
    qsizetype position = 0;
    while (position < m_buffer.size()) {
        const FrameMatch found = matchFrame(position);
        if (found.match == Match::Partial)
            break;
        if (found.match == Match::None) {
            m_skipped.append(m_buffer[position]);
            ++position;
            continue;
        }
        reportSkipped();
        const QByteArray frame = m_buffer.mid(position, found.length);
        position += found.length;
        ++m_frameCounts[size_t(found.kind)];
        emit frameDecoded(found.kind, frame);
    }
    m_buffer.remove(0, position);
    m_decoding = false;
    reportSkipped();

    if (m_buffer.isEmpty())
        m_partialFrameTimer->stop();
    else
        m_partialFrameTimer->start();
}

void FrameDecoder::reportSkipped()
{
    if (m_skipped.isEmpty())
        return;
    const QByteArray skipped = m_skipped;
    m_skipped.clear();
    m_skippedBytes += skipped.size();
    emit bytesSkipped(skipped);
}

void FrameDecoder::dropStalePartialFrame()
{
    if (m_buffer.isEmpty() || m_decoding)
        return;
    const QByteArray stale = m_buffer;
    m_buffer.clear();
    m_skippedBytes += stale.size();
    emit partialFrameDropped(stale);
}
