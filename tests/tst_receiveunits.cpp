#include "core/curvelimits.h"
#include "core/powerchartdata.h"
#include "core/receivestream.h"
#include "core/telemetry.h"
#include "core/telemetrycsv.h"
#include "coretestsupport.h"

#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <climits>

using Sample = Telemetry::Sample;

Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(QList<QByteArray>)
Q_DECLARE_METATYPE(CurveLimit)

class TestReceiveUnits : public QObject
{
    Q_OBJECT

private slots:
    void decodeFrame_data();
    void decodeFrame();
    void decodeFrameReadsNothingPastTheChunk_data();
    void decodeFrameReadsNothingPastTheChunk();

    void stream_data();
    void stream();
    void heldBytesStayUnderOneFrame();
    void resetDropsHeldBytes();

    void rollingWindow_data();
    void rollingWindow();
    void samplesKeepTheirValues();
    void csvRow_data();
    void csvRow();
    void limitRule_data();
    void limitRule();
    void tickInterval_data();
    void tickInterval();
};

using TestSupport::cutEvery;
using TestSupport::hex;

namespace {

// Stands, in a list of reads, for the line going quiet past the hold limit.
const QByteArray silence = QByteArrayLiteral("<silence>");

QString framePiece(const QByteArray &bytes)
{
    return QStringLiteral("frame:") + QString::fromLatin1(bytes.toHex());
}

QString textPiece(const QByteArray &bytes)
{
    return QStringLiteral("text:") + QString::fromLocal8Bit(bytes);
}

QString droppedPiece(const QByteArray &bytes)
{
    return QStringLiteral("dropped:") + QString::fromLatin1(bytes.toHex());
}

// What a stream made of the reads, text run together however the reads cut it,
// and how many bytes it still holds at the end; the most it held at any time
// goes to maxHeld.
QStringList streamPieces(const QList<QByteArray> &reads, qsizetype *maxHeld = nullptr)
{
    ReceiveStream stream;
    QStringList pieces;
    QString text;
    const auto flushText = [&] {
        if (!text.isEmpty())
            pieces.append(QStringLiteral("text:") + text);
        text.clear();
    };
    for (const QByteArray &read : reads) {
        const ReceiveStream::Pieces taken = read == silence ? stream.expireHeld() : stream.take(read);
        for (const ReceivedPiece &piece : taken) {
            if (piece.kind == ReceivedPiece::Text) {
                text += piece.text;
                continue;
            }
            flushText();
            pieces.append(piece.kind == ReceivedPiece::Frame ? framePiece(piece.bytes) : droppedPiece(piece.bytes));
        }
        if (maxHeld)
            *maxHeld = std::max(*maxHeld, stream.heldSize());
    }
    flushText();
    if (stream.holdsBytes())
        pieces.append(QStringLiteral("held:%1").arg(stream.heldSize()));
    return pieces;
}

} // namespace

void TestReceiveUnits::decodeFrame_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<Sample>("expected");

    QTest::newRow("readings of the reference frame")
        << hex("FFFF000000640A50F07F") << Sample { 100, 10, 80 * 0.27, -16 * 0.45, 127 };
    QTest::newRow("0x80 is the lowest reading")
        << TestSupport::telemetryFrame(0x80, 0x80, 0x80, 0x80, 0x80) << Sample { -128, -128, -128 * 0.27, -128 * 0.45, -128 };
    QTest::newRow("0xFF is minus one")
        << TestSupport::telemetryFrame(0xFF, 0xFF, 0xFF, 0xFF, 0xFF) << Sample { -1, -1, -0.27, -0.45, -1 };
    QTest::newRow("0x7F is the highest reading")
        << TestSupport::telemetryFrame(0x7F, 0x7F, 0x7F, 0x7F, 0x7F) << Sample { 127, 127, 127 * 0.27, 127 * 0.45, 127 };
    QTest::newRow("zeros") << TestSupport::telemetryFrame(0, 0, 0, 0, 0) << Sample { 0, 0, 0, 0, 0 };
    QTest::newRow("bytes 2 to 4 are not read")
        << hex("FFFF7F80FF0102030405") << Sample { 1, 2, 3 * 0.27, 4 * 0.45, 5 };
    QTest::newRow("bytes past 9 are not read")
        << hex("FFFF000000640A50F07F1122") << Sample { 100, 10, 80 * 0.27, -16 * 0.45, 127 };
}

void TestReceiveUnits::decodeFrame()
{
    QFETCH(QByteArray, chunk);
    QFETCH(Sample, expected);

    const std::optional<Sample> sample = Telemetry::decodeFrame(chunk);
    QVERIFY(sample);
    for (int series = 0; series < Telemetry::seriesCount; ++series)
        QCOMPARE((*sample)[series], expected[series]);
}

void TestReceiveUnits::decodeFrameReadsNothingPastTheChunk_data()
{
    QTest::addColumn<int>("length");

    for (const int length : { 0, 1, 2, 5, 9 })
        QTest::addRow("%d bytes", length) << length;
}

// The chunk is a view into a longer buffer that holds a whole frame, so a decoder
// that reads past the chunk's end would find plausible readings there.
void TestReceiveUnits::decodeFrameReadsNothingPastTheChunk()
{
    QFETCH(int, length);

    static const char buffer[] = "\xFF\xFF\x00\x00\x00\x64\x0A\x50\xF0\x7F";
    const QByteArray chunk = QByteArray::fromRawData(buffer, length);
    QVERIFY(!Telemetry::decodeFrame(chunk));
}

void TestReceiveUnits::stream_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("pieces");

    using Reads = QList<QByteArray>;
    const QByteArray f = hex("FFFF000000640A50F07F");
    const QByteArray g = hex("FFFF0000000102030405");

    QTest::newRow("whole frame") << Reads { f } << QStringList { framePiece(f) };
    QTest::newRow("two frames in one read") << Reads { f + g } << QStringList { framePiece(f), framePiece(g) };
    QTest::newRow("two frames in turn") << Reads { f, g } << QStringList { framePiece(f), framePiece(g) };
    QTest::newRow("frame then text") << Reads { f + "OK\r\n" } << QStringList { framePiece(f), textPiece("OK\r\n") };
    QTest::newRow("text then frame") << Reads { "hi\n" + f } << QStringList { textPiece("hi\n"), framePiece(f) };
    QTest::newRow("text between frames")
        << Reads { "a" + f + "b" + g + "c" }
        << QStringList { textPiece("a"), framePiece(f), textPiece("b"), framePiece(g), textPiece("c") };
    QTest::newRow("12 bytes: a frame and two bytes of text")
        << Reads { f + hex("4142") } << QStringList { framePiece(f), textPiece("AB") };
    for (int cut = 1; cut < Telemetry::frameLength; ++cut) {
        QTest::addRow("frame cut after byte %d", cut) << Reads { f.left(cut), f.mid(cut) } << QStringList { framePiece(f) };
    }
    QTest::newRow("frame cut 2 + 3 + 5, then text")
        << Reads { f.left(2), f.mid(2, 3), f.mid(5), "OK" } << QStringList { framePiece(f), textPiece("OK") };
    QTest::newRow("frame head, then its tail with text behind it")
        << Reads { f.left(4), f.mid(4) + "OK" } << QStringList { framePiece(f), textPiece("OK") };
    QTest::newRow("frame head, then an empty read")
        << Reads { f.left(3), QByteArray(), f.mid(3) } << QStringList { framePiece(f) };
    QTest::newRow("FF FF inside a frame's readings")
        << Reads { hex("FFFF000000FFFF01FFFF") + "A" }
        << QStringList { framePiece(hex("FFFF000000FFFF01FFFF")), textPiece("A") };
    QTest::newRow("FF FF in bytes 2 and 3")
        << Reads { hex("FFFFFFFF000102030405") + g } << QStringList { framePiece(hex("FFFFFFFF000102030405")), framePiece(g) };
    QTest::newRow("FF FF FF: the frame starts at the first FF FF")
        << Reads { hex("FF") + f.left(9) + "x" } << QStringList { framePiece(hex("FF") + f.left(9)), textPiece("x") };
    QTest::newRow("text") << Reads { "AB" } << QStringList { textPiece("AB") };
    QTest::newRow("empty read") << Reads { QByteArray() } << QStringList();
    QTest::newRow("FF 41 42") << Reads { hex("FF4142") } << QStringList { textPiece(hex("FF4142")) };
    QTest::newRow("FE FF and nine bytes") << Reads { hex("FEFF000000640A50F07F") }
                                          << QStringList { textPiece(hex("FEFF000000640A50F07F")) };
    QTest::newRow("start of a character at a read's end, then a byte that cannot continue it")
        << Reads { "x\xE4", "A" } << QStringList { textPiece("x\xE4" "A") };
    QTest::newRow("lone FF at a read's end, then text")
        << Reads { "OK" + hex("FF"), "AB" } << QStringList { textPiece("OK" + hex("FF") + "AB") };
    QTest::newRow("lone FF, then FF and the rest of a frame")
        << Reads { hex("FF"), f.mid(1) } << QStringList { framePiece(f) };
    QTest::newRow("FF FF alone is held") << Reads { hex("FFFF") } << QStringList { "held:2" };
    QTest::newRow("lone FF is held") << Reads { "A" + hex("FF") } << QStringList { textPiece("A"), "held:1" };
    QTest::newRow("held head, then silence")
        << Reads { "OK" + f.left(4), silence, "AB" }
        << QStringList { textPiece("OK"), droppedPiece(f.left(4)), textPiece("AB") };
    QTest::newRow("held lone FF, then silence")
        << Reads { "OK" + hex("FF"), silence, f } << QStringList { textPiece("OK" + hex("FF")), framePiece(f) };
    QTest::newRow("silence with nothing held") << Reads { f, silence, "AB" }
                                               << QStringList { framePiece(f), textPiece("AB") };
}

// Beyond the reads given, the same stream in one read and byte by byte must come
// out the same: where the driver cuts makes no difference.
void TestReceiveUnits::stream()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, pieces);

    QCOMPARE(streamPieces(reads), pieces);
    if (reads.contains(silence))
        return;

    const QByteArray whole = reads.join();
    QCOMPARE(streamPieces({ whole }), pieces);
    QCOMPARE(streamPieces(cutEvery(whole, 1)), pieces);
}

void TestReceiveUnits::heldBytesStayUnderOneFrame()
{
    qsizetype maxHeld = 0;
    const QStringList pieces = streamPieces(cutEvery(hex("FF" "FFFF0000006401020304" "FF41" "FFFF00"), 1), &maxHeld);
    QCOMPARE(maxHeld, Telemetry::frameLength - 1);
    QCOMPARE(pieces, QStringList({ framePiece(hex("FFFFFF00000064010203")), textPiece(hex("04FF41")), "held:3" }));
}

void TestReceiveUnits::resetDropsHeldBytes()
{
    ReceiveStream stream;
    QVERIFY(stream.take(hex("FFFF0000")).isEmpty());
    QCOMPARE(stream.heldSize(), qsizetype(4));
    stream.reset();
    QVERIFY(!stream.holdsBytes());
    QVERIFY(stream.expireHeld().isEmpty());

    const ReceiveStream::Pieces pieces = stream.take(QByteArray("AB"));
    QCOMPARE(pieces.size(), qsizetype(1));
    QCOMPARE(pieces.first().kind, ReceivedPiece::Text);
    QCOMPARE(pieces.first().text, QStringLiteral("AB"));
}

void TestReceiveUnits::rollingWindow_data()
{
    QTest::addColumn<qint64>("start"); // the number of the first frame
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("firstX");
    QTest::addColumn<double>("lastX");
    QTest::addColumn<double>("rangeLow");
    QTest::addColumn<double>("rangeHigh");

    QTest::newRow("no frame") << qint64(0) << 0 << 0 << -1.0 << -1.0 << 0.0 << 500.0;
    QTest::newRow("1 frame") << qint64(0) << 1 << 1 << 0.0 << 0.0 << 0.0 << 500.0;
    QTest::newRow("499 frames") << qint64(0) << 499 << 499 << 0.0 << 498.0 << 0.0 << 500.0;
    QTest::newRow("500 frames") << qint64(0) << 500 << 500 << 0.0 << 499.0 << 0.0 << 500.0;
    QTest::newRow("501 frames") << qint64(0) << 501 << 500 << 1.0 << 500.0 << 1.0 << 501.0;
    QTest::newRow("1000 frames") << qint64(0) << 1000 << 500 << 500.0 << 999.0 << 500.0 << 1000.0;
    QTest::newRow("1234 frames") << qint64(0) << 1234 << 500 << 734.0 << 1233.0 << 734.0 << 1234.0;
    // The counter goes on past 2^31 frames.
    const double first = double(INT_MAX) - 2;
    QTest::newRow("counter crosses the 32-bit limit")
        << qint64(first) << 6 << 6 << first << first + 5 << first + 6 - PowerChartData::maxPoints << first + 6;
}

void TestReceiveUnits::rollingWindow()
{
    QFETCH(qint64, start);
    QFETCH(int, frames);
    QFETCH(int, points);
    QFETCH(double, firstX);
    QFETCH(double, lastX);
    QFETCH(double, rangeLow);
    QFETCH(double, rangeHigh);

    PowerChartData data(start);
    for (int i = 0; i < frames; ++i)
        data.addSample(Sample { 1, 2, 3, 4, 5 });

    QCOMPARE(data.sampleCount(), start + frames);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        const QList<QPointF> &list = data.points(series);
        QCOMPARE(list.size(), qsizetype(points));
        if (points > 0) {
            QCOMPARE(list.first().x(), firstX);
            QCOMPARE(list.last().x(), lastX);
            for (qsizetype i = 1; i < list.size(); ++i)
                QCOMPARE(list.at(i).x(), list.at(i - 1).x() + 1);
        }
    }
    QCOMPARE(data.xRangeLow(), rangeLow);
    QCOMPARE(data.xRangeHigh(), rangeHigh);
}

void TestReceiveUnits::samplesKeepTheirValues()
{
    PowerChartData data;
    for (int i = 0; i < 600; ++i)
        data.addSample(Sample { double(i), i + 0.25, i + 0.5, i + 0.75, -double(i) });

    // The oldest 100 are gone; each remaining point carries its own frame's reading.
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        const QList<QPointF> &list = data.points(series);
        QCOMPARE(list.size(), qsizetype(PowerChartData::maxPoints));
        for (const QPointF &point : list) {
            const double frameNumber = point.x();
            const double expected[] = { frameNumber, frameNumber + 0.25, frameNumber + 0.5, frameNumber + 0.75,
                                        -frameNumber };
            QCOMPARE(point.y(), expected[series]);
        }
    }
}

void TestReceiveUnits::csvRow_data()
{
    QTest::addColumn<QDateTime>("receivedAt");
    QTest::addColumn<qint64>("elapsedUs");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    const QDate day(2026, 12, 8);
    QTest::newRow("the documented frame, shortest values")
        << QDateTime(day, QTime(1, 2, 3, 45), QTimeZone::utc()) << qint64(0) << hex("FF FF 00 00 00 64 0A 50 F0 7F")
        << QByteArray("2026-12-08T01:02:03.045+00:00,0.000000,7,100,10,21.6,-7.2,127\n");
    QTest::newRow("offset east, readings at both ends")
        << QDateTime(day, QTime(23, 59, 59, 999), QTimeZone(5 * 3600 + 30 * 60)) << qint64(12345678)
        << hex("FF FF 00 00 00 80 7F 80 7F FF")
        << QByteArray("2026-12-08T23:59:59.999+05:30,12.345678,7,-128,127,-34.56,57.15,-1\n");
    QTest::newRow("offset west")
        << QDateTime(day, QTime(0, 0), QTimeZone(-3 * 3600)) << qint64(1) << hex("FF FF 00 00 00 01 02 03 04 05")
        << QByteArray("2026-12-08T00:00:00.000-03:00,0.000001,7,1,2,0.81,1.8,5\n");
    // 30 * 0.27 and 109 * 0.45 are 8.100000000000001 and 49.050000000000004 in binary.
    QTest::newRow("readings as the decimals they stand for")
        << QDateTime(day, QTime(0, 0), QTimeZone::utc()) << qint64(0) << hex("FF FF 00 00 00 00 00 1E 6D 00")
        << QByteArray("2026-12-08T00:00:00.000+00:00,0.000000,7,0,0,8.1,49.05,0\n");
    QTest::newRow("a negative reading as its decimal")
        << QDateTime(day, QTime(0, 0), QTimeZone::utc()) << qint64(0) << hex("FF FF 00 00 00 00 00 00 DF 00")
        << QByteArray("2026-12-08T00:00:00.000+00:00,0.000000,7,0,0,0,-14.85,0\n");
}

void TestReceiveUnits::csvRow()
{
    QFETCH(QDateTime, receivedAt);
    QFETCH(qint64, elapsedUs);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);

    QVERIFY(TelemetryCsv::header().startsWith("timestamp,elapsed_s,sample,1.8V power,"));
    const QByteArray row = TelemetryCsv::row(receivedAt, elapsedUs, 7, *Telemetry::decodeFrame(frame));
    QCOMPARE(row, expected);
    // Each value reads back as the decimal the plotted reading stands for.
    const QList<QByteArray> fields = row.trimmed().split(',');
    const Telemetry::Sample sample = *Telemetry::decodeFrame(frame);
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        QCOMPARE(fields.at(3 + i).toDouble(), Telemetry::rounded(sample[i]));
        QVERIFY(qAbs(fields.at(3 + i).toDouble() - sample[i]) < 1e-9);
    }
}

void TestReceiveUnits::limitRule_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<int>("series"); // -1: refused
    QTest::addColumn<CurveLimit>("limit");

    const auto bounds = [](std::optional<double> low, std::optional<double> high) { return CurveLimit { low, high }; };
    QTest::newRow("upper, the header's name") << "12V power<=50" << 3 << bounds({}, 50);
    QTest::newRow("lower, an alias in capitals") << " 1V8 >= -5 " << 0 << bounds(-5, {});
    QTest::newRow("range") << "all in 10..120.5" << 4 << bounds(10, 120.5);
    QTest::newRow("range of one value") << "3v3 in 7..7" << 1 << bounds(7, 7);
    QTest::newRow("unknown curve") << "13v<=5" << -1 << CurveLimit {};
    QTest::newRow("strict operator") << "12v<5" << -1 << CurveLimit {};
    QTest::newRow("range upside down") << "5v in 5..1" << -1 << CurveLimit {};
    QTest::newRow("not a number") << "5v<=five" << -1 << CurveLimit {};
    QTest::newRow("infinite") << "5v>=-inf" << -1 << CurveLimit {};
    QTest::newRow("no value") << "5v<=" << -1 << CurveLimit {};
    QTest::newRow("empty") << "" << -1 << CurveLimit {};
}

void TestReceiveUnits::limitRule()
{
    QFETCH(QString, expression);
    QFETCH(int, series);
    QFETCH(CurveLimit, limit);

    const std::optional<LimitRule> rule = LimitRule::parse(expression);
    QCOMPARE(rule.has_value(), series >= 0);
    if (rule) {
        QCOMPARE(rule->series, series);
        QVERIFY(rule->limit == limit);
        QCOMPARE(rule->text, expression.trimmed());
    }
}

void TestReceiveUnits::tickInterval_data()
{
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("intervals");
    QTest::addColumn<double>("interval");

    QTest::newRow("a zoomed view") << 139.8 << 10 << 20.0;
    QTest::newRow("exactly ten steps") << 500.0 << 10 << 50.0;
    QTest::newRow("a whole history") << 1e6 << 10 << 1e5;
    QTest::newRow("narrow") << 7.0 << 10 << 1.0;
    QTest::newRow("between 2 and 5") << 27.0 << 7 << 5.0;
    QTest::newRow("fractions") << 0.5 << 10 << 0.05;
    QTest::newRow("nothing to span") << 0.0 << 10 << 1.0;
}

void TestReceiveUnits::tickInterval()
{
    QFETCH(double, span);
    QFETCH(int, intervals);
    QFETCH(double, interval);
    QCOMPARE(PowerChartData::tickInterval(span, intervals), interval);
}

QTEST_APPLESS_MAIN(TestReceiveUnits)

#include "tst_receiveunits.moc"
