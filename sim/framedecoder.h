#ifndef FRAMEDECODER_H
#define FRAMEDECODER_H

#include <QByteArray>
#include <QObject>

#include <array>

class QTimer;

// Finds the console's frames in the byte stream the board receives. A frame cut
// across several receive() calls is put together; bytes that cannot start a known
// frame are reported with bytesSkipped() and passed over up to the next plausible
// header. A partial frame that is not completed within the idle timeout is
// reported with partialFrameDropped() and dropped.
class FrameDecoder : public QObject
{
    Q_OBJECT

public:
    enum class FrameKind {
        Reset,
        EraseApp,
        JumpToApp,
        Gpu,
        AdRegister,
        DaRegister,
        UpdatePacket,
    };
    Q_ENUM(FrameKind)

    explicit FrameDecoder(QObject *parent = nullptr);

    void setIdleTimeout(int milliseconds);
    int idleTimeout() const;
    int frameCount(FrameKind kind) const { return m_frameCounts[size_t(kind)]; }
    // Bytes skipped and dropped so far.
    qint64 skippedByteCount() const { return m_skippedBytes; }

    void receive(const QByteArray &bytes);

Q_SIGNALS:
    void frameDecoded(FrameDecoder::FrameKind kind, const QByteArray &frame);
    void bytesSkipped(const QByteArray &bytes);
    void partialFrameDropped(const QByteArray &bytes);

private:
    enum class Match { None, Partial, Complete };
    struct FrameMatch
    {
        Match match = Match::None;
        FrameKind kind = FrameKind::Reset;
        int length = 0;
    };

    FrameMatch matchFrame(qsizetype position) const;
    void decodeBuffer();
    void reportSkipped();
    void dropStalePartialFrame();

    QByteArray m_buffer;
    QByteArray m_skipped;
    std::array<int, 7> m_frameCounts {};
    qint64 m_skippedBytes = 0;
    bool m_decoding = false;
    QTimer *m_partialFrameTimer;
};

#endif // FRAMEDECODER_H
