#ifndef TELEMETRY_H
#define TELEMETRY_H

#include <QByteArray>
#include <QList>
#include <QPointF>

#include <array>
#include <optional>

namespace Telemetry {

constexpr int seriesCount = 5;
constexpr qsizetype frameLength = 10; // offsets 0 to 9 are all that is read

using Sample = std::array<double, seriesCount>;

// A chunk starting FF FF is a telemetry frame, whatever follows.
bool startsTelemetryFrame(const QByteArray &chunk);

// Bytes 5 to 9 as signed 8-bit readings, bytes 7 and 8 scaled by 0.27 and 0.45.
// Nothing for a chunk shorter than a whole frame: no byte outside it is read.
std::optional<Sample> decodeFrame(const QByteArray &chunk);

} // namespace Telemetry

// Routes each arrival whole, by its first two bytes. A frame head cut off by the
// driver (FF FF, or a lone FF, with fewer than ten bytes) is held and put in front
// of the next arrival, so the frame is plotted once and its tail is never shown as
// text. At most one frame's worth of bytes is ever held.
class ReceiveRouter
{
public:
    enum Route {
        Held,      // nothing to do yet
        Telemetry, // bytes begin with a whole frame
        Text,      // bytes are board text (possibly empty)
    };

    struct Result
    {
        Route route = Held;
        QByteArray bytes;
    };

    Result route(const QByteArray &chunk);
    void reset() { m_held.clear(); }
    qsizetype heldSize() const { return m_held.size(); }

private:
    QByteArray m_held;
};

// The rolling point lists behind the five curves and the X range to show with
// them. The sample counter is 64-bit: at a frame per millisecond a 32-bit one
// would wrap after 25 days of plotting.
class PowerChartData
{
public:
    static constexpr int maxPoints = 500;

    explicit PowerChartData(qint64 firstSampleNumber = 0) : m_dataCounter(firstSampleNumber) {}

    void addSample(const Telemetry::Sample &sample);
    const QList<QPointF> &points(int series) const { return m_vectorList[series]; }
    qint64 sampleCount() const { return m_dataCounter; }
    double xRangeLow() const;
    double xRangeHigh() const;

private:
    std::array<QList<QPointF>, Telemetry::seriesCount> m_vectorList;
    qint64 m_dataCounter = 0;
};

#endif // TELEMETRY_H
