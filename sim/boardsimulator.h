#ifndef BOARDSIMULATOR_H
#define BOARDSIMULATOR_H

#include <QBitArray>
#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QRandomGenerator>
#include <QString>

#include <array>

class QTimer;

// The board at the far end of the console's serial line, without the line:
// bytes from the console go in through receive(), bytes for the console come
// out through writeRequested(), one emission per write the board would make.
// A transport (BoardLink) ties both ends to a pty or a real serial device;
// tests drive the simulator directly.
//
// Decoding is stream based: a frame cut across several receive() calls is
// put together, and bytes that cannot start a known frame are reported with
// bytesSkipped() and passed over up to the next plausible header. A partial
// frame that is not completed within the idle timeout is reported and dropped.
//
// Update packets are assembled into an image. The board cannot know the real
// length of an image, as the console pads its last packet with 0xFF and sends
// no length. The image is therefore taken as everything up to the end of the
// packet with the highest offset, with the trailing 0xFF bytes of that packet
// trimmed: an image that really ends in 0xFF bytes is reported shorter than
// the file, and the CRC-32 reported is over the trimmed image. Bytes no packet
// covered read as 0xFF, as erased flash does. The image is finished, reported
// and optionally written to a file when no packet came for the idle timeout
// or when a jump-to-application command arrives.
class BoardSimulator : public QObject
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

    enum class LineKind {
        Command,   // a frame from the console, decoded
        Problem,   // skipped bytes, dropped partial frames, gaps, overlaps
        Image,     // an image finished, its size, CRC-32 and file
        Text,      // text the board sends to the console
        Telemetry, // a telemetry frame the board sends
    };
    Q_ENUM(LineKind)

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

    static constexpr int telemetryFrameLength = 10;

    explicit BoardSimulator(QObject *parent = nullptr);
    ~BoardSimulator() override;

    // Board state, as the console's commands left it.
    bool isRailOn() const { return m_railOn; }
    quint8 fanSpeed() const { return m_fanSpeed; }
    bool isPlotting() const { return m_plotting; }
    QMap<quint16, quint16> adRegisters() const { return m_adRegisters; }
    QMap<quint16, quint16> daRegisters() const { return m_daRegisters; }
    int adInitialisations() const { return m_adInitialisations; }
    int daInitialisations() const { return m_daInitialisations; }
    int lastJumpParameter() const { return m_lastJumpParameter; }
    int frameCount(FrameKind kind) const;
    qint64 skippedByteCount() const { return m_skippedBytes; }

    // The image assembled from the update packets since the last one was
    // finished; after finishImage() it stays available until a new packet arrives.
    QByteArray imageBytes() const;
    ImageReport imageReport() const;
    bool isImagePending() const { return m_imagePending; }

    void setTelemetryRate(int framesPerSecond);
    int noiseAmplitude() const { return m_noiseAmplitude; }
    void setNoiseAmplitude(int amplitude);
    void setSeed(quint32 seed);
    void setIdleTimeout(int milliseconds);
    void setImageOutputPath(const QString &path);
    void setTextAnswersEnabled(bool enabled);

    // How bytes leave the board, to meet the console with what real drivers do:
    // several messages merged into one write, and each write cut in two. The rest of
    // a cut write follows after the split delay, or sooner, right before the next write.
    void setMergeCount(int messagesPerWrite);
    void setMergeWindow(int milliseconds);
    void setSplitWrites(bool split);
    void setSplitPoint(int byteIndex); // 0 cuts at a random point
    void setSplitDelay(int milliseconds);

    static quint32 crc32(QByteArrayView data);
    static QString hex(QByteArrayView bytes, qsizetype maxBytes = 48);

    // Builds the next telemetry frame from the present state; the streaming
    // timer sends exactly these.
    QByteArray nextTelemetryFrame();

public Q_SLOTS:
    void receive(const QByteArray &bytes);
    void setPlotting(bool on);
    void finishImage();
    // Writes out whatever waits to be merged, and the second half of a split write.
    void flush();

Q_SIGNALS:
    void writeRequested(const QByteArray &bytes);
    void lineLogged(const QString &line, BoardSimulator::LineKind kind);
    void frameDecoded(BoardSimulator::FrameKind kind, const QByteArray &frame, const QString &meaning);
    void bytesSkipped(const QByteArray &bytes);
    void imageProgress(qint64 bytesReceived, int packets);
    void imageCompleted(const BoardSimulator::ImageReport &report);

private:
    enum class Match { None, Partial, Complete };
    struct FrameMatch
    {
        Match match = Match::None;
        FrameKind kind = FrameKind::Reset;
        int length = 0;
    };

    // What a frame meant, and what the board answers to it.
    struct Outcome
    {
        QString meaning;
        QByteArray answer;
        bool problem = false;
    };

    FrameMatch matchFrame(qsizetype position) const;
    void decodeBuffer();
    void reportSkipped();
    void dropStalePartialFrame();
    void handleFrame(FrameKind kind, const QByteArray &frame);
    Outcome handleGpu(const QByteArray &frame);
    Outcome handleRegister(FrameKind kind, const QByteArray &frame);
    Outcome handleUpdate(const QByteArray &frame);
    void resetToPowerOn();
    void startImage();

    void startTelemetryClock();
    void scheduleTelemetry();
    void sendDueTelemetry();
    void sendTelemetry();
    void sendText(const QByteArray &text);
    void queueMessage(const QByteArray &message);
    void flushMerged();
    void writeOut(const QByteArray &bytes);
    void releaseHeldRest();

    void logBytes(const char *direction, QByteArrayView bytes, const QString &meaning, LineKind kind);
    void logNote(const QString &meaning, LineKind kind);
    static quint16 littleEndian16(const QByteArray &bytes, int at);
    static quint32 littleEndian32(const QByteArray &bytes, int at);

    // Decoder
    QByteArray m_buffer;
    QByteArray m_skipped;
    std::array<int, 7> m_frameCounts {};
    qint64 m_skippedBytes = 0;

    // Board state
    bool m_railOn = false;
    quint8 m_fanSpeed = 0;
    bool m_plotting = false;
    QMap<quint16, quint16> m_adRegisters;
    QMap<quint16, quint16> m_daRegisters;
    int m_adInitialisations = 0;
    int m_daInitialisations = 0;
    int m_lastJumpParameter = -1;

    // Image
    QByteArray m_image;
    QBitArray m_covered;
    bool m_imagePending = false;
    quint32 m_highestOffset = 0;
    quint32 m_expectedOffset = 0;
    qint64 m_coveredBytes = 0;
    int m_packets = 0;
    int m_outOfOrderPackets = 0;
    int m_overlappingPackets = 0;

    // Telemetry
    QRandomGenerator m_noiseRandom;
    // Its own generator, so that cutting writes does not change the readings.
    QRandomGenerator m_splitRandom;
    int m_telemetryRate = 50;
    int m_noiseAmplitude = 2;
    quint32 m_telemetrySequence = 0;
    QElapsedTimer m_telemetryClock;
    qint64 m_telemetryFramesSent = 0;

    // Output
    bool m_textAnswers = true;
    int m_mergeCount = 1;
    int m_mergeWindowMs = 500;
    bool m_splitWrites = false;
    int m_splitPoint = 0;
    int m_splitDelayMs = 5;
    QByteArray m_mergePending;
    int m_mergePendingCount = 0;
    // The second piece of the last cut write, until the split delay is over.
    QByteArray m_heldRest;
    bool m_decoding = false;

    QString m_imageOutputPath;
    int m_idleTimeoutMs = 500;

    QTimer *m_telemetryTimer;
    QTimer *m_imageIdleTimer;
    QTimer *m_partialFrameTimer;
    QTimer *m_mergeTimer;
    QTimer *m_splitTimer;
};

Q_DECLARE_METATYPE(BoardSimulator::ImageReport)

#endif // BOARDSIMULATOR_H
