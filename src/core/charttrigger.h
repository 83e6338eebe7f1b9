#ifndef CHARTTRIGGER_H
#define CHARTTRIGGER_H

#include "core/telemetry.h"

#include <QString>

#include <optional>

// Catches the moment a curve crosses a level, as an oscilloscope's trigger does,
// and says when the samples after it fill the rest of the view, so that the view
// can stand still with the crossing where the user wants it.
class ChartTrigger
{
public:
    // Rising: the previous sample below the level and this one at or above it;
    // falling the reverse.
    enum class Edge { Rising, Falling, Either };
    // A single capture disarms; a continuous one looks again once the view moves on.
    enum class Mode { Single, Continuous };

    struct Settings
    {
        int series = 3;
        double level = 40;
        Edge edge = Edge::Rising;
        Mode mode = Mode::Single;
        int positionPercent = 20; // where the crossing sits, from the view's left edge

        bool operator==(const Settings &other) const
        {
            return series == other.series && level == other.level && edge == other.edge && mode == other.mode
                && positionPercent == other.positionPercent;
        }
    };

    struct Capture
    {
        qint64 triggerSample = 0;
        Edge edge = Edge::Rising; // the one that occurred, never Either
        qint64 viewLow = 0;
        qint64 viewSpan = 0;
    };

    static bool crosses(Edge edge, double level, double previous, double current);
    // The names the dialog offers and the log line says.
    static QString edgeName(Edge edge);
    static QString modeName(Mode mode);
    // The log's line for a capture.
    static QString captureLine(const Settings &settings, const Capture &capture);

    const Settings &settings() const { return m_settings; }
    // New settings take effect at the next arming.
    void setSettings(const Settings &settings) { m_settings = settings; }

    // Looks for the edge anew in a view of this many samples; what came before
    // counts for nothing, not even as the previous sample.
    void arm(qint64 viewSpan);
    void disarm() { m_state = State::Idle; }
    // Armed, also when a continuous trigger has caught its edge and waits to look again.
    bool isArmed() const { return m_state != State::Idle; }
    // Looking for the edge, or filling the view after it.
    bool isWatching() const { return m_state == State::Looking || m_state == State::Filling; }
    std::optional<qint64> triggerSample() const;

    // Takes one sample while watching: the capture once this sample fills the view.
    // A single trigger is disarmed by its capture; a continuous one waits for arm().
    std::optional<Capture> addSample(qint64 sampleNumber, const Telemetry::Sample &sample);

private:
    enum class State { Idle, Looking, Filling, Captured };

    Settings m_settings;
    State m_state = State::Idle;
    qint64 m_viewSpan = 0;
    std::optional<double> m_previous;
    Capture m_capture;
};

#endif // CHARTTRIGGER_H
