#ifndef BOARDSIMULATOR_H
#define BOARDSIMULATOR_H

#include "boardstate.h"
#include "framedecoder.h"
#include "imageassembly.h"
#include "writeshaper.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QObject>
#include <QString>

class QTimer;
class TelemetryClock;

// The board at the far end of the console's serial line, without the line:
// bytes from the console go in through receive(), bytes for the console come
// out through writeRequested(), one emission per write the board would make.
// A transport (BoardLink) ties both ends to a pty or a real serial device;
// tests drive the simulator directly.
//
// It puts together the board's parts: the decoder finds the console's frames,
// the board state answers them, update packets go into an image assembly, the
// telemetry clock paces the stream while plotting is on, and the write shaper
// decides how the bytes leave. Everything is reported line by line through
// lineLogged(). An image is finished, reported and optionally written to a file
// when no packet came for the idle timeout or when a jump-to-application
// command arrives.
class BoardSimulator : public QObject
{
    Q_OBJECT

public:
    using FrameKind = FrameDecoder::FrameKind;
    using ImageReport = ::ImageReport;

    enum class LineKind {
        Command,   // a frame from the console, decoded
        Problem,   // skipped bytes, dropped partial frames, gaps, overlaps
        Image,     // an image finished, its size, CRC-32 and file
        Text,      // text the board sends to the console
        Telemetry, // a telemetry frame the board sends
    };
    Q_ENUM(LineKind)

    struct Settings
    {
        int telemetryRate = 50; // frames per second while plotting, 1 to 1000
        int noiseAmplitude = 2; // +/- raw units on each reading, 0 to 20
        // Seeds the noise and the random split points, so that a run can be repeated.
        quint32 seed = 1;
        // Without an update packet for this long the image is finished, and an
        // incomplete frame is reported and dropped.
        int idleTimeoutMs = 500;
        QString imageOutputPath; // each finished image is written here, if set
        bool textAnswers = true;
        WriteShaper::Settings writes;
    };

    static constexpr int telemetryFrameLength = BoardState::telemetryFrameLength;

    explicit BoardSimulator(QObject *parent = nullptr);
    explicit BoardSimulator(const Settings &settings, QObject *parent = nullptr);
    ~BoardSimulator() override;

    // Values out of range are brought into it; settings() gives what is in force. A
    // seed reseeds the generators only when it differs from the one in force.
    void setSettings(const Settings &settings);
    const Settings &settings() const { return m_settings; }

    // Board state, as the console's commands left it.
    bool isRailOn() const { return m_state.isRailOn(); }
    quint8 fanSpeed() const { return m_state.fanSpeed(); }
    bool isPlotting() const;
    QMap<quint16, quint16> adRegisters() const { return m_state.adRegisters(); }
    QMap<quint16, quint16> daRegisters() const { return m_state.daRegisters(); }
    int adInitialisations() const { return m_state.adInitialisations(); }
    int daInitialisations() const { return m_state.daInitialisations(); }
    int lastJumpParameter() const { return m_state.lastJumpParameter(); }
    int frameCount(FrameKind kind) const { return m_decoder->frameCount(kind); }
    qint64 skippedByteCount() const { return m_decoder->skippedByteCount(); }

    // The image assembled from the update packets since the last one was
    // finished; after finishImage() it stays available until a new packet arrives.
    QByteArray imageBytes() const { return m_image.bytes(); }
    ImageReport imageReport() const { return m_image.report(); }
    bool isImagePending() const { return m_imagePending; }

    static quint32 crc32(QByteArrayView data) { return ImageAssembly::crc32(data); }
    static QString hex(QByteArrayView bytes, qsizetype maxBytes = 48);

    // Builds the next telemetry frame from the present state; the streaming
    // timer sends exactly these.
    QByteArray nextTelemetryFrame() { return m_state.nextTelemetryFrame(); }

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
    void handleFrame(FrameKind kind, const QByteArray &frame);
    BoardState::Answer placePacket(const QByteArray &frame);
    void reportSkipped(const QByteArray &skipped);
    void reportDropped(const QByteArray &stale);
    void sendTelemetry();
    void sendText(const QByteArray &text);
    void logBytes(const char *direction, QByteArrayView bytes, const QString &meaning, LineKind kind);
    void logNote(const QString &meaning, LineKind kind);

    Settings m_settings;
    BoardState m_state;
    ImageAssembly m_image;
    bool m_imagePending = false;
    FrameDecoder *m_decoder;
    TelemetryClock *m_clock;
    WriteShaper *m_shaper;
    QTimer *m_imageIdleTimer;
};

#endif // BOARDSIMULATOR_H
