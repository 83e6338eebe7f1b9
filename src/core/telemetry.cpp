#include "core/telemetry.h"

#include <cmath>

namespace Telemetry {

std::optional<Sample> decodeFrame(const QByteArray &frame)
{
    if (frame.size() < frameLength)
        return std::nullopt;
    const auto reading = [&frame](int offset) { return double(qint8(frame[offset])); };
    return Sample { reading(5), reading(6), reading(7) * 0.27, reading(8) * 0.45, reading(9) };
}

double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    // Adding zero turns a rounded -0 into 0.
    return std::round(value * scale) / scale + 0.0;
}

} // namespace Telemetry
