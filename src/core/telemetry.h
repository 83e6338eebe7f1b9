#ifndef TELEMETRY_H
#define TELEMETRY_H

#include <QByteArray>

#include <array>
#include <optional>

namespace Telemetry {

constexpr int seriesCount = 5;
constexpr qsizetype frameLength = 10; // offsets 0 to 9 are all that is read

using Sample = std::array<double, seriesCount>;

// The curves' names, in series order: the chart's, the CSV header's and bench-ctl's.
constexpr std::array<const char *, seriesCount> seriesNames = { "1.8V power", "3.3V power", "5V power", "12V power",
                                                                "all power" };

// Every reading is a whole byte, or one times 0.27 or 0.45: at most two decimals.
constexpr int readingDecimals = 2;

// Bytes 5 to 9 as signed 8-bit readings, bytes 7 and 8 scaled by 0.27 and 0.45.
// Nothing for bytes shorter than a whole frame: no byte outside them is read.
std::optional<Sample> decodeFrame(const QByteArray &frame);

// A value as the decimal it stands for, to the given number of decimals: the
// double nearest 49.05 rather than 49.050000000000004, so that text made of it
// with the shortest round trip reads 49.05.
double rounded(double value, int decimals = readingDecimals);

} // namespace Telemetry

#endif // TELEMETRY_H
