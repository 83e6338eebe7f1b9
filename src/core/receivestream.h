#ifndef RECEIVESTREAM_H
#define RECEIVESTREAM_H

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringDecoder>

// One piece of what the board sent, in the order it came.
struct ReceivedPiece
{
    enum Kind {
        Frame,       // `bytes` is one whole telemetry frame
        Text,        // `text` is board text, decoded
        DroppedHead, // `bytes` began a frame that was never completed
    };

    Kind kind = Text;
    QByteArray bytes;
    QString text;
};

// Splits the byte stream from the board into telemetry frames and board text.
// The driver's reads are not the board's writes: one read may hold many frames,
// frames and text, or half a frame, so a frame is found wherever FF FF starts it,
// and its ten bytes are a frame whatever they hold (readings of FF included);
// scanning goes on after it. Every other byte is text, decoded by one stateful
// decoder so that a character cut by a read, or by a frame, comes out whole.
// A frame head or a lone FF at a read's end is held for the next read, so the
// outcome does not depend on where reads are cut; the caller ends the wait with
// expireHeld() once the line has been silent for holdLimitMs. Within that time
// the bytes are one stream: a frame cut short by a board reset takes its missing
// bytes from what follows and makes one wrong point, and the next FF FF puts the
// reading back in step. No rule on the bytes could tell such a cut from a real one.
class ReceiveStream
{
public:
    // A board that resets mid-frame must not keep its last bytes from the log for good.
    static constexpr int holdLimitMs = 50;

    using Pieces = QList<ReceivedPiece>;

    Pieces take(QByteArrayView bytes);
    // A held frame head is dropped, a held lone FF goes out as text.
    Pieces expireHeld();
    void reset();

    bool holdsBytes() const { return !m_held.isEmpty(); }
    qsizetype heldSize() const { return m_held.size(); }

private:
    void appendText(Pieces &pieces, QByteArrayView bytes);

    QByteArray m_held;
    QByteArray m_partialCharacter;
    // Its state is reset whenever it holds part of a character (see appendText), so
    // a byte order mark is shown wherever it comes rather than skipped at the start.
    QStringDecoder m_decoder { QStringDecoder::System, QStringDecoder::Flag::ConvertInitialBom };
};

#endif // RECEIVESTREAM_H
