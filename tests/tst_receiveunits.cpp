#include "hexinput.h"
#include "telemetry.h"

#include <QTest>

#include <climits>

using Sample = Telemetry::Sample;

Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(QList<QByteArray>)

class TestReceiveUnits : public QObject
{
    Q_OBJECT

private slots:
    void decodeFrame_data();
    void decodeFrame();
    void decodeFrameReadsNothingPastTheChunk_data();
    void decodeFrameReadsNothingPastTheChunk();
    void startsTelemetryFrame_data();
    void startsTelemetryFrame();

    void route_data();
    void route();
    void heldBytesStayUnderOneFrame();
    void resetDropsHeldBytes();

    void rollingWindow_data();
    void rollingWindow();
    void samplesKeepTheirValues();
    void counterCrossesThe32BitLimit();

    void parseHexInput_data();
    void parseHexInput();
    void encodeTextInput_data();
    void encodeTextInput();
    void encodeTextInputInLocalEncoding_data();
    void encodeTextInputInLocalEncoding();
};

namespace {

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

// Ten bytes whose readings 5 to 9 are the given raw bytes.
QByteArray frame(uchar b5, uchar b6, uchar b7, uchar b8, uchar b9)
{
    QByteArray bytes = hex("FFFF000000");
    for (const uchar b : { b5, b6, b7, b8, b9 })
        bytes.append(char(b));
    return bytes;
}

QString routeName(ReceiveRouter::Route route)
{
    switch (route) {
    case ReceiveRouter::Held:
        return QStringLiteral("held");
    case ReceiveRouter::Telemetry:
        return QStringLiteral("telemetry");
    case ReceiveRouter::Text:
        return QStringLiteral("text");
    }
    return {};
}

bool localEncodingIsUtf8()
{
    return QStringLiteral("\u00e9").toLocal8Bit() == QByteArray("\xC3\xA9");
}

} // namespace

void TestReceiveUnits::decodeFrame_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<Sample>("expected");

    QTest::newRow("readings of the reference frame")
        << hex("FFFF000000640A50F07F") << Sample { 100, 10, 80 * 0.27, -16 * 0.45, 127 };
    QTest::newRow("0x80 is the lowest reading")
        << frame(0x80, 0x80, 0x80, 0x80, 0x80) << Sample { -128, -128, -128 * 0.27, -128 * 0.45, -128 };
    QTest::newRow("0xFF is minus one")
        << frame(0xFF, 0xFF, 0xFF, 0xFF, 0xFF) << Sample { -1, -1, -0.27, -0.45, -1 };
    QTest::newRow("0x7F is the highest reading")
        << frame(0x7F, 0x7F, 0x7F, 0x7F, 0x7F) << Sample { 127, 127, 127 * 0.27, 127 * 0.45, 127 };
    QTest::newRow("zeros") << frame(0, 0, 0, 0, 0) << Sample { 0, 0, 0, 0, 0 };
    QTest::newRow("bytes 2 to 4 are not read")
        << hex("FFFF7F80FF0102030405") << Sample { 1, 2, 3 * 0.27, 4 * 0.45, 5 };
    QTest::newRow("12-byte chunk: bytes past 9 are not read")
        << hex("FFFF000000640A50F07F1122") << Sample { 100, 10, 80 * 0.27, -16 * 0.45, 127 };
    QTest::newRow("20-byte chunk with two frames: the first is decoded")
        << hex("FFFF000000640A50F07F" "FFFF0000000102030405") << Sample { 100, 10, 80 * 0.27, -16 * 0.45, 127 };
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

void TestReceiveUnits::startsTelemetryFrame_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<bool>("telemetry");

    QTest::newRow("whole frame") << hex("FFFF000000640A50F07F") << true;
    QTest::newRow("FF FF alone") << hex("FFFF") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("lone FF") << hex("FF") << false;
    QTest::newRow("FF 41 42") << hex("FF4142") << false;
    QTest::newRow("FF second only") << hex("41FF") << false;
    QTest::newRow("FE FF") << hex("FEFF000000640A50F07F") << false;
    QTest::newRow("text") << QByteArray("AB") << false;
}

void TestReceiveUnits::startsTelemetryFrame()
{
    QFETCH(QByteArray, chunk);
    QFETCH(bool, telemetry);

    QCOMPARE(Telemetry::startsTelemetryFrame(chunk), telemetry);
}

void TestReceiveUnits::route_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    // One "route:hex bytes" entry for each chunk, in order.
    QTest::addColumn<QStringList>("routes");

    QTest::newRow("whole frame") << QList<QByteArray> { hex("FFFF000000640A50F07F") }
                                 << QStringList { "telemetry:ffff000000640a50f07f" };
    QTest::newRow("frame with trailing bytes goes whole")
        << QList<QByteArray> { hex("FFFF000000640A50F07F4142") }
        << QStringList { "telemetry:ffff000000640a50f07f4142" };
    QTest::newRow("text") << QList<QByteArray> { QByteArray("AB") } << QStringList { "text:4142" };
    QTest::newRow("single byte") << QList<QByteArray> { QByteArray("Z") } << QStringList { "text:5a" };
    QTest::newRow("empty chunk") << QList<QByteArray> { QByteArray() } << QStringList { "text:" };
    QTest::newRow("FF 41 42") << QList<QByteArray> { hex("FF4142") } << QStringList { "text:ff4142" };
    QTest::newRow("lone FF then a non-FF byte")
        << QList<QByteArray> { hex("FF"), QByteArray("AB") } << QStringList { "held:", "text:ff4142" };
    QTest::newRow("lone FF then FF and the rest of a frame")
        << QList<QByteArray> { hex("FF"), hex("FF000000640A50F07F") }
        << QStringList { "held:", "telemetry:ffff000000640a50f07f" };
    QTest::newRow("frame split 4 + 6")
        << QList<QByteArray> { hex("FFFF0000"), hex("00640A50F07F") }
        << QStringList { "held:", "telemetry:ffff000000640a50f07f" };
    QTest::newRow("frame split 9 + 1")
        << QList<QByteArray> { hex("FFFF000000640A50F0"), hex("7F") }
        << QStringList { "held:", "telemetry:ffff000000640a50f07f" };
    QTest::newRow("frame split 2 + 3 + 5")
        << QList<QByteArray> { hex("FFFF"), hex("000000"), hex("640A50F07F") }
        << QStringList { "held:", "held:", "telemetry:ffff000000640a50f07f" };
    QTest::newRow("frame split, then text")
        << QList<QByteArray> { hex("FFFF0000"), hex("00640A50F07F"), QByteArray("OK") }
        << QStringList { "held:", "telemetry:ffff000000640a50f07f", "text:4f4b" };
    QTest::newRow("frame head, then its tail with text behind it")
        << QList<QByteArray> { hex("FFFF0000"), hex("00640A50F07F") + "OK" }
        << QStringList { "held:", "telemetry:ffff000000640a50f07f4f4b" };
    QTest::newRow("frame head, then an empty chunk")
        << QList<QByteArray> { hex("FFFF00"), QByteArray(), hex("0000640A50F07F") }
        << QStringList { "held:", "held:", "telemetry:ffff000000640a50f07f" };
    QTest::newRow("two frames in turn")
        << QList<QByteArray> { hex("FFFF000000640A50F07F"), hex("FFFF0000000102030405") }
        << QStringList { "telemetry:ffff000000640a50f07f", "telemetry:ffff0000000102030405" };
    QTest::newRow("text, then a frame")
        << QList<QByteArray> { QByteArray("hi\n"), hex("FFFF000000640A50F07F") }
        << QStringList { "text:68690a", "telemetry:ffff000000640a50f07f" };
}

void TestReceiveUnits::route()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, routes);

    ReceiveRouter router;
    QStringList actual;
    for (const QByteArray &chunk : chunks) {
        const ReceiveRouter::Result result = router.route(chunk);
        actual.append(routeName(result.route) + u':' + QString::fromLatin1(result.bytes.toHex()));
    }
    QCOMPARE(actual, routes);
    QCOMPARE(router.heldSize(), qsizetype(0));
}

void TestReceiveUnits::heldBytesStayUnderOneFrame()
{
    ReceiveRouter router;
    QCOMPARE(router.route(hex("FF")).route, ReceiveRouter::Held);
    for (const char byte : hex("FF0000006401020304")) {
        const qsizetype heldBefore = router.heldSize();
        const ReceiveRouter::Result result = router.route(QByteArray(1, byte));
        QVERIFY2(router.heldSize() < Telemetry::frameLength, qPrintable(QString::number(router.heldSize())));
        if (result.route == ReceiveRouter::Held) {
            QCOMPARE(router.heldSize(), heldBefore + 1);
        } else {
            QCOMPARE(result.route, ReceiveRouter::Telemetry);
            QCOMPARE(result.bytes.size(), Telemetry::frameLength);
            QCOMPARE(router.heldSize(), qsizetype(0));
        }
    }
    QCOMPARE(router.heldSize(), qsizetype(0));
}

void TestReceiveUnits::resetDropsHeldBytes()
{
    ReceiveRouter router;
    QCOMPARE(router.route(hex("FFFF0000")).route, ReceiveRouter::Held);
    router.reset();
    QCOMPARE(router.heldSize(), qsizetype(0));

    const ReceiveRouter::Result result = router.route(QByteArray("AB"));
    QCOMPARE(result.route, ReceiveRouter::Text);
    QCOMPARE(result.bytes, QByteArray("AB"));
}

void TestReceiveUnits::rollingWindow_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("firstX");
    QTest::addColumn<double>("lastX");
    QTest::addColumn<double>("rangeLow");
    QTest::addColumn<double>("rangeHigh");

    QTest::newRow("no frame") << 0 << 0 << -1.0 << -1.0 << 0.0 << 500.0;
    QTest::newRow("1 frame") << 1 << 1 << 0.0 << 0.0 << 0.0 << 500.0;
    QTest::newRow("499 frames") << 499 << 499 << 0.0 << 498.0 << 0.0 << 500.0;
    QTest::newRow("500 frames") << 500 << 500 << 0.0 << 499.0 << 0.0 << 500.0;
    QTest::newRow("501 frames") << 501 << 500 << 1.0 << 500.0 << 1.0 << 501.0;
    QTest::newRow("1000 frames") << 1000 << 500 << 500.0 << 999.0 << 500.0 << 1000.0;
    QTest::newRow("1234 frames") << 1234 << 500 << 734.0 << 1233.0 << 734.0 << 1234.0;
}

void TestReceiveUnits::rollingWindow()
{
    QFETCH(int, frames);
    QFETCH(int, points);
    QFETCH(double, firstX);
    QFETCH(double, lastX);
    QFETCH(double, rangeLow);
    QFETCH(double, rangeHigh);

    PowerChartData data;
    for (int i = 0; i < frames; ++i)
        data.addSample(Sample { 1, 2, 3, 4, 5 });

    QCOMPARE(data.sampleCount(), qint64(frames));
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

void TestReceiveUnits::counterCrossesThe32BitLimit()
{
    const qint64 first = qint64(INT_MAX) - 2;
    PowerChartData data(first);
    for (int i = 0; i < 6; ++i)
        data.addSample(Sample { 1, 2, 3, 4, 5 });

    const qint64 beyond = qint64(1) << 31;
    QCOMPARE(data.sampleCount(), first + 6);
    QVERIFY(data.sampleCount() > beyond);
    const QList<QPointF> &list = data.points(0);
    QCOMPARE(list.size(), qsizetype(6));
    QCOMPARE(list.first().x(), double(first));
    QCOMPARE(list.last().x(), double(first + 5));
    for (qsizetype i = 1; i < list.size(); ++i)
        QCOMPARE(list.at(i).x(), list.at(i - 1).x() + 1);
    QCOMPARE(data.xRangeLow(), double(first + 6 - PowerChartData::maxPoints));
    QCOMPARE(data.xRangeHigh(), double(first + 6));
}

void TestReceiveUnits::parseHexInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QByteArray>("bytes");

    const int ready = HexInput::Ready;
    const int blank = HexInput::Blank;
    const int invalid = HexInput::Invalid;

    QTest::newRow("single digit padded") << "A" << ready << "0A" << hex("0A");
    QTest::newRow("blanks join digits") << "1 2 3" << ready << "0123" << hex("0123");
    QTest::newRow("F 1 is one byte") << "F 1" << ready << "F1" << hex("F1");
    QTest::newRow("lower case kept in the echo") << "ab cd" << ready << "abcd" << hex("ABCD");
    QTest::newRow("mixed case") << "aB" << ready << "aB" << hex("AB");
    QTest::newRow("white space at the ends") << " 12 34\n" << ready << "1234" << hex("1234");
    QTest::newRow("line feed inside") << "12\n34" << ready << "1234" << hex("1234");
    QTest::newRow("carriage return and line feed inside") << "12\r\n34" << ready << "1234" << hex("1234");
    QTest::newRow("tab inside") << "12\t34" << ready << "1234" << hex("1234");
    QTest::newRow("vertical tab and form feed inside") << "1\v2\f34" << ready << "1234" << hex("1234");
    QTest::newRow("odd digits with a line feed") << "1\n23" << ready << "0123" << hex("0123");
    QTest::newRow("many bytes") << "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF" << ready
                                << "00112233445566778899AABBCCDDEEFF" << hex("00112233445566778899AABBCCDDEEFF");
    QTest::newRow("0x prefix refused") << "0x12" << invalid << QString() << QByteArray();
    QTest::newRow("G refused") << "G1" << invalid << QString() << QByteArray();
    QTest::newRow("comma refused") << "12,34" << invalid << QString() << QByteArray();
    QTest::newRow("ideographic space refused") << QStringLiteral("12\u300034") << invalid << QString() << QByteArray();
    QTest::newRow("no-break space refused") << QStringLiteral("12\u00a034") << invalid << QString() << QByteArray();
    QTest::newRow("the editor's initial text refused") << QStringLiteral("命令发送") << invalid << QString()
                                                       << QByteArray();
    QTest::newRow("lone surrogate refused") << QString(QChar(0xDF80)) << invalid << QString() << QByteArray();
    QTest::newRow("digits around a lone surrogate refused")
        << (QStringLiteral("12") + QChar(0xD800) + QStringLiteral(" 34")) << invalid << QString() << QByteArray();
    QTest::newRow("one blank") << " " << blank << QString() << QByteArray();
    QTest::newRow("white space only") << " \t\n\r " << blank << QString() << QByteArray();
}

void TestReceiveUnits::parseHexInput()
{
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(QString, normalised);
    QFETCH(QByteArray, bytes);

    const HexInput input = HexInput::parse(text);
    QCOMPARE(int(input.status), status);
    QCOMPARE(input.normalised, normalised);
    QCOMPARE(input.bytes, bytes);
}

void TestReceiveUnits::encodeTextInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("charCount");
    QTest::addColumn<QString>("hexEcho");

    QTest::newRow("AB") << "AB" << QByteArray("AB") << 2 << "41 42";
    QTest::newRow("AB and a line feed, no carriage return") << "AB\n" << QByteArray("AB\n") << 3 << "41 42 0A";
    QTest::newRow("one blank") << " " << QByteArray(" ") << 1 << "20";
    QTest::newRow("white space kept as typed") << " a\tb " << QByteArray(" a\tb ") << 5 << "20 61 09 62 20";
    QTest::newRow("hex digits sent as characters") << "ff" << QByteArray("ff") << 2 << "66 66";
    QTest::newRow("empty") << "" << QByteArray() << 0 << "";
}

void TestReceiveUnits::encodeTextInput()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(int, charCount);
    QFETCH(QString, hexEcho);

    const TextInput input = TextInput::encode(text);
    QCOMPARE(input.bytes, bytes);
    QCOMPARE(input.charCount, qsizetype(charCount));
    QCOMPARE(input.hexEcho, hexEcho);
}

void TestReceiveUnits::encodeTextInputInLocalEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("utf8Bytes");
    QTest::addColumn<int>("charCount");
    QTest::addColumn<QString>("hexEcho");

    QTest::newRow("two-byte character") << QStringLiteral("\u00e9") << QByteArray("\xC3\xA9") << 1 << "C3 A9";
    QTest::newRow("the editor's initial text") << QStringLiteral("命令发送")
                                               << QByteArray("\xE5\x91\xBD\xE4\xBB\xA4\xE5\x8F\x91\xE9\x80\x81") << 4
                                               << "E5 91 BD E4 BB A4 E5 8F 91 E9 80 81";
}

void TestReceiveUnits::encodeTextInputInLocalEncoding()
{
    if (!localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8Bytes);
    QFETCH(int, charCount);
    QFETCH(QString, hexEcho);

    const TextInput input = TextInput::encode(text);
    QCOMPARE(input.bytes, utf8Bytes);
    QCOMPARE(input.charCount, qsizetype(charCount));
    QCOMPARE(input.hexEcho, hexEcho);
}

QTEST_APPLESS_MAIN(TestReceiveUnits)

#include "tst_receiveunits.moc"
