#ifndef BOARDSTATE_H
#define BOARDSTATE_H

#include "framedecoder.h"

#include <QByteArray>
#include <QMap>
#include <QRandomGenerator>
#include <QString>

#include <optional>

// What the board keeps from the console's commands, and what it answers to them:
// the GPU rail and fan, the converters' registers, the last jump. Its telemetry
// readings follow that state. Update packets are no business of it.
class BoardState
{
public:
    static constexpr int telemetryFrameLength = 10;

    struct Answer
    {
        QString meaning;
        QByteArray text; // the line the board sends back, none for some commands
        bool problem = false;
        std::optional<bool> plotting; // streaming switched on or off
    };

    BoardState();

    Answer answer(FrameDecoder::FrameKind kind, const QByteArray &frame);

    // The 12 V rail's raw reading while on, settled, and how long its inrush lasts.
    static constexpr int railOnReading = 58;
    static constexpr int railOffReading = 10;
    static constexpr int inrushMs = 200;

    // Builds the next telemetry frame from the present state.
    QByteArray nextTelemetryFrame();
    void setNoiseAmplitude(int amplitude) { m_noiseAmplitude = amplitude; }
    // Frames per second: the inrush is timed in frames, as the console counts time.
    void setTelemetryRate(int framesPerSecond) { m_telemetryRate = framesPerSecond; }
    void seed(quint32 seed) { m_noiseRandom.seed(seed); }

    bool isRailOn() const { return m_railOn; }
    quint8 fanSpeed() const { return m_fanSpeed; }
    QMap<quint16, quint16> adRegisters() const { return m_adRegisters; }
    QMap<quint16, quint16> daRegisters() const { return m_daRegisters; }
    int adInitialisations() const { return m_adInitialisations; }
    int daInitialisations() const { return m_daInitialisations; }
    int lastJumpParameter() const { return m_lastJumpParameter; }

private:
    Answer answerGpu(const QByteArray &frame);
    Answer answerRegister(FrameDecoder::FrameKind kind, const QByteArray &frame);
    int railReading();

    bool m_railOn = false;
    quint8 m_fanSpeed = 0;
    QMap<quint16, quint16> m_adRegisters;
    QMap<quint16, quint16> m_daRegisters;
    int m_adInitialisations = 0;
    int m_daInitialisations = 0;
    int m_lastJumpParameter = -1;

    QRandomGenerator m_noiseRandom;
    int m_noiseAmplitude = 2;
    quint32 m_telemetrySequence = 0;
    int m_telemetryRate = 50;
    // Frames sent since the rail was last switched on; the inrush is over once
    // they span inrushMs.
    qint64 m_framesSinceRailOn = 0;
};

#endif // BOARDSTATE_H
