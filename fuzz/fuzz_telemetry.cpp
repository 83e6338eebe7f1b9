// The receive path: a byte stream cut into reads at arbitrary points, routed,
// decoded and plotted.
//
// Input: the stream is taken from the front of the data; from the back come the
// chart's first sample number, the number of frames plotted before the stream
// and, before each read, one control byte whose low six bits are the read's
// length (0 to 63) and whose top two bits, both set, make the router drop what it
// holds first, as when the port is closed mid-frame.

#include "fuzzsupport.h"
#include "telemetry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

namespace {

int signedByte(const std::vector<char> &frame, int offset)
{
    const int value = uint8_t(frame[size_t(offset)]);
    return value > 127 ? value - 256 : value;
}

// Decodes from an allocation exactly as long as the bytes, so that AddressSanitizer
// reports any read past their end.
std::optional<Telemetry::Sample> decodeExact(const std::vector<char> &bytes)
{
    const QByteArray view = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    const bool telemetry = Telemetry::startsTelemetryFrame(view);
    FUZZ_REQUIRE(telemetry == (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFF));

    const std::optional<Telemetry::Sample> sample = Telemetry::decodeFrame(view);
    FUZZ_REQUIRE(sample.has_value() == (bytes.size() >= 10));
    if (!sample)
        return sample;
    const Telemetry::Sample &values = *sample;
    FUZZ_REQUIRE(values[0] == signedByte(bytes, 5));
    FUZZ_REQUIRE(values[1] == signedByte(bytes, 6));
    FUZZ_REQUIRE(values[2] == signedByte(bytes, 7) * 0.27);
    FUZZ_REQUIRE(values[3] == signedByte(bytes, 8) * 0.45);
    FUZZ_REQUIRE(values[4] == signedByte(bytes, 9));
    for (const int series : { 0, 1, 4 })
        FUZZ_REQUIRE(values[series] >= -128 && values[series] <= 127);
    FUZZ_REQUIRE(values[2] >= -128 * 0.27 && values[2] <= 127 * 0.27);
    FUZZ_REQUIRE(values[3] >= -128 * 0.45 && values[3] <= 127 * 0.45);
    return sample;
}

void checkChart(const PowerChartData &chart, qint64 firstSampleNumber, const Telemetry::Sample &latest)
{
    const qint64 plotted = chart.sampleCount() - firstSampleNumber;
    const double low = chart.xRangeLow();
    const double high = chart.xRangeHigh();
    FUZZ_REQUIRE(high - low == PowerChartData::maxPoints);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        const QList<QPointF> &points = chart.points(series);
        FUZZ_REQUIRE(points.size() == std::min<qint64>(plotted, PowerChartData::maxPoints));
        const qint64 firstX = chart.sampleCount() - points.size();
        for (qsizetype i = 0; i < points.size(); ++i)
            FUZZ_REQUIRE(points[i].x() == double(firstX + i));
        FUZZ_REQUIRE(points.last().y() == latest[size_t(series)]);
        FUZZ_REQUIRE(points.first().x() >= low && points.last().x() <= high);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    // Within the range where a double still counts every sample.
    const auto firstSampleNumber = provider.ConsumeIntegralInRange<qint64>(0, Q_INT64_C(1) << 40);
    PowerChartData chart(firstSampleNumber);
    // Frames plotted before this stream, so that short inputs reach a full chart.
    const auto earlierFrames = provider.ConsumeIntegralInRange(0, PowerChartData::maxPoints + 20);
    for (int frame = 0; frame < earlierFrames; ++frame) {
        const double reading = frame % 256 - 128;
        const Telemetry::Sample sample { reading, -reading, reading * 0.27, reading * 0.45, reading };
        chart.addSample(sample);
        if (frame + 1 == earlierFrames)
            checkChart(chart, firstSampleNumber, sample);
    }
    ReceiveRouter router;

    QByteArray received; // every byte the port delivered, in order
    QByteArray accounted; // every byte routed on, or dropped by a reset, in order
    while (provider.remaining_bytes() > 0) {
        const auto control = provider.ConsumeIntegral<uint8_t>();
        if ((control & 0xC0) == 0xC0) {
            accounted += received.right(router.heldSize());
            router.reset();
            FUZZ_REQUIRE(router.heldSize() == 0);
        }
        const std::vector<char> read = provider.ConsumeBytes<char>(control & 0x3F);
        decodeExact(read);

        const QByteArray chunk(read.data(), qsizetype(read.size()));
        received += chunk;
        const ReceiveRouter::Result result = router.route(chunk);
        FUZZ_REQUIRE(router.heldSize() >= 0 && router.heldSize() < Telemetry::frameLength);

        const std::vector<char> routed(result.bytes.cbegin(), result.bytes.cend());
        switch (result.route) {
        case ReceiveRouter::Held:
            FUZZ_REQUIRE(result.bytes.isEmpty());
            FUZZ_REQUIRE(router.heldSize() > 0);
            break;
        case ReceiveRouter::Telemetry: {
            FUZZ_REQUIRE(routed.size() >= size_t(Telemetry::frameLength));
            FUZZ_REQUIRE(uint8_t(routed[0]) == 0xFF && uint8_t(routed[1]) == 0xFF);
            const std::optional<Telemetry::Sample> sample = decodeExact(routed);
            FUZZ_REQUIRE(sample.has_value());
            chart.addSample(*sample);
            checkChart(chart, firstSampleNumber, *sample);
            break;
        }
        case ReceiveRouter::Text:
            // A frame head, whole or cut, never reaches the log as text.
            FUZZ_REQUIRE(routed.empty() || uint8_t(routed[0]) != 0xFF
                         || (routed.size() >= 2 && uint8_t(routed[1]) != 0xFF));
            break;
        }
        if (result.route != ReceiveRouter::Held)
            FUZZ_REQUIRE(router.heldSize() == 0);

        // Nothing lost, nothing repeated, nothing reordered: what is held is
        // exactly the tail of the stream that has not been routed yet, and it is
        // the start of a frame.
        accounted += result.bytes;
        FUZZ_REQUIRE(accounted.size() + router.heldSize() == received.size());
        FUZZ_REQUIRE(received.startsWith(accounted));
        if (router.heldSize() > 0)
            FUZZ_REQUIRE(uchar(received.at(accounted.size())) == 0xFF);
        if (router.heldSize() > 1)
            FUZZ_REQUIRE(uchar(received.at(accounted.size() + 1)) == 0xFF);
    }
    return 0;
}
