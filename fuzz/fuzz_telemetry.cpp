// The receive path: a byte stream of frames and text cut into reads at arbitrary
// points, split, decoded and plotted. Where the reads are cut must not change
// what comes out: the pieces match those of the same stream taken in one read,
// and both match a plain byte-by-byte reading of the stream.
//
// Input: the stream is taken from the front of the data; from the back come the
// chart's first sample number, the number of frames plotted before the stream
// and, before each read, one control byte whose low six bits are the read's
// length (0 to 63).

#include "fuzzsupport.h"
#include "core/powerchartdata.h"
#include "core/receivestream.h"
#include "core/telemetry.h"

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

struct Outcome
{
    QList<QByteArray> frames;
    QList<QByteArray> dropped;
    QString text;        // all of it, in order
    QStringList ordered; // frames and runs of text in the order they came
    qsizetype held = 0;
};

void collect(Outcome &outcome, const ReceiveStream::Pieces &pieces)
{
    for (const ReceivedPiece &piece : pieces) {
        switch (piece.kind) {
        case ReceivedPiece::Frame:
            outcome.frames.append(piece.bytes);
            outcome.ordered.append(QStringLiteral("frame:") + QString::fromLatin1(piece.bytes.toHex()));
            break;
        case ReceivedPiece::Text:
            FUZZ_REQUIRE(!piece.text.isEmpty());
            outcome.text += piece.text;
            if (!outcome.ordered.isEmpty() && outcome.ordered.last().startsWith(u't'))
                outcome.ordered.last() += piece.text;
            else
                outcome.ordered.append(QStringLiteral("text:") + piece.text);
            break;
        case ReceivedPiece::DroppedHead:
            outcome.dropped.append(piece.bytes);
            outcome.ordered.append(QStringLiteral("dropped:") + QString::fromLatin1(piece.bytes.toHex()));
            break;
        }
    }
}

// Lets go of what the stream holds, as after the hold limit, then ends the text
// with a line feed so that a character cut at the very end comes out too.
void finish(Outcome &outcome, ReceiveStream &stream)
{
    outcome.held = stream.heldSize();
    collect(outcome, stream.expireHeld());
    FUZZ_REQUIRE(!stream.holdsBytes());
    collect(outcome, stream.take("\n"));
    FUZZ_REQUIRE(!stream.holdsBytes());
}

// The stream read one byte at a time, the way the rules are written: FF FF and
// the eight bytes after it are a frame, every other byte is text; at the end a
// frame head is dropped and a lone FF is text.
struct Reference
{
    QList<QByteArray> frames;
    QByteArray text;
    QByteArray droppedHead;
};

Reference readByByte(const QByteArray &stream)
{
    Reference reference;
    qsizetype at = 0;
    while (at < stream.size()) {
        if (at + 1 < stream.size() && uchar(stream[at]) == 0xFF && uchar(stream[at + 1]) == 0xFF) {
            if (stream.size() - at < Telemetry::frameLength) {
                reference.droppedHead = stream.mid(at);
                break;
            }
            reference.frames.append(stream.mid(at, Telemetry::frameLength));
            at += Telemetry::frameLength;
        } else {
            reference.text.append(stream[at]);
            ++at;
        }
    }
    return reference;
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

    ReceiveStream cutStream;
    Outcome cut;
    QByteArray received; // every byte the port delivered, in order
    while (provider.remaining_bytes() > 0) {
        const auto control = provider.ConsumeIntegral<uint8_t>();
        const std::vector<char> read = provider.ConsumeBytes<char>(control & 0x3F);
        decodeExact(read);

        const QByteArray chunk(read.data(), qsizetype(read.size()));
        received += chunk;
        const qsizetype framesBefore = cut.frames.size();
        collect(cut, cutStream.take(chunk));
        FUZZ_REQUIRE(cutStream.heldSize() < Telemetry::frameLength);
        for (qsizetype i = framesBefore; i < cut.frames.size(); ++i) {
            const QByteArray &frame = cut.frames.at(i);
            FUZZ_REQUIRE(frame.size() == Telemetry::frameLength);
            const std::optional<Telemetry::Sample> sample = decodeExact({ frame.cbegin(), frame.cend() });
            FUZZ_REQUIRE(sample.has_value());
            chart.addSample(*sample);
            checkChart(chart, firstSampleNumber, *sample);
        }
    }
    FUZZ_REQUIRE(cut.dropped.isEmpty());
    finish(cut, cutStream);

    ReceiveStream wholeStream;
    Outcome whole;
    collect(whole, wholeStream.take(received));
    finish(whole, wholeStream);

    FUZZ_REQUIRE(cut.ordered == whole.ordered);
    FUZZ_REQUIRE(cut.held == whole.held);

    const Reference reference = readByByte(received);
    FUZZ_REQUIRE(cut.frames == reference.frames);
    // One decoder over all the text at once; a byte order mark anywhere is text.
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::ConvertInitialBom);
    FUZZ_REQUIRE(cut.text == decoder.decode(reference.text + '\n'));
    FUZZ_REQUIRE(cut.dropped == (reference.droppedHead.isEmpty() ? QList<QByteArray>() : QList<QByteArray> { reference.droppedHead }));
    return 0;
}
