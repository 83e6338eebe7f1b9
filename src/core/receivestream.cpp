#include "core/receivestream.h"

#include "core/telemetry.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool localEncodingIsUtf8()
{
    static const bool utf8 = QString::fromLocal8Bit("\xC3\xA9") == QStringView(u"\u00e9");
    return utf8;
}

// How many bytes at the end begin a UTF-8 character that is not complete yet: a
// lead byte followed by fewer continuation bytes than it announces, as Qt's
// decoder judges it.
qsizetype incompleteUtf8Tail(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= std::min<qsizetype>(size, 3); ++back) {
        const uchar byte = uchar(bytes[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        const qsizetype length = byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                                 : byte >= 0xF0 && byte <= 0xF4                                 ? 4
                                                                                                : 1;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

ReceiveStream::Pieces ReceiveStream::take(QByteArrayView chunk)
{
    Pieces pieces;
    if (chunk.isEmpty())
        return pieces;
    // Held bytes are at most a frame head, so joining them costs little; the scan
    // then starts where it stopped last time.
    QByteArray joined;
    QByteArrayView bytes = chunk;
    if (!m_held.isEmpty()) {
        joined = std::exchange(m_held, {});
        joined.append(chunk);
        bytes = joined;
    }

    const char *const data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype textStart = 0;
    qsizetype at = 0;
    qsizetype heldFrom = size;
    while (at < size) {
        const void *marker = std::memchr(data + at, 0xFF, size_t(size - at));
        if (!marker)
            break;
        at = static_cast<const char *>(marker) - data;
        if (at + 1 == size) {
            heldFrom = at;
            break;
        }
        if (uchar(data[at + 1]) != 0xFF) {
            // A lone FF inside text; the byte after it cannot start a frame either.
            at += 2;
            continue;
        }
        if (size - at < Telemetry::frameLength) {
            heldFrom = at;
            break;
        }
        appendText(pieces, bytes.sliced(textStart, at - textStart));
        pieces.append({ ReceivedPiece::Frame, bytes.sliced(at, Telemetry::frameLength).toByteArray(), {} });
        at += Telemetry::frameLength;
        textStart = at;
    }
    appendText(pieces, bytes.sliced(textStart, heldFrom - textStart));
    m_held = bytes.sliced(heldFrom).toByteArray();
    return pieces;
}

ReceiveStream::Pieces ReceiveStream::expireHeld()
{
    Pieces pieces;
    if (m_held.size() == 1)
        appendText(pieces, m_held);
    else if (!m_held.isEmpty())
        pieces.append({ ReceivedPiece::DroppedHead, m_held, {} });
    m_held.clear();
    return pieces;
}

void ReceiveStream::reset()
{
    m_held.clear();
    m_partialCharacter.clear();
    m_decoder.resetState();
}

// Qt 6.4's decoder, left holding the start of a character at the end of one call,
// drops the next call's first byte when that byte cannot continue it ("\xE4" then
// "A" loses the A). So the bytes it would hold are taken back and handed to it
// again, joined to what follows, and it never carries a character between calls.
void ReceiveStream::appendText(Pieces &pieces, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    QByteArray joined;
    if (!m_partialCharacter.isEmpty()) {
        joined = std::exchange(m_partialCharacter, {});
        joined.append(bytes);
        bytes = joined;
    }
    const QString text = m_decoder.decode(bytes);
    if (localEncodingIsUtf8()) {
        if (const qsizetype tail = incompleteUtf8Tail(bytes)) {
            m_partialCharacter = bytes.last(tail).toByteArray();
            m_decoder.resetState();
        }
    }
    if (text.isEmpty())
        return;
    if (!pieces.isEmpty() && pieces.last().kind == ReceivedPiece::Text)
        pieces.last().text += text;
    else
        pieces.append({ ReceivedPiece::Text, {}, text });
}
