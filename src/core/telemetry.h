#ifndef TELEMETRY_H
#define TELEMETRY_H

#include <QByteArray>

#include <array>
#include <optional>

namespace Telemetry {

constexpr int seriesCount = 5;
constexpr qsizetype frameLength = 10; // offsets 0 to 9 are all that is read

using Sample = std::array<double, seriesCount>;

// Bytes 5 to 9 as signed 8-bit readings, bytes 7 and 8 scaled by 0.27 and 0.45.
// Nothing for bytes shorter than a whole frame: no byte outside them is read.
std::optional<Sample> decodeFrame(const QByteArray &frame);

} // namespace Telemetry

#endif // TELEMETRY_H
