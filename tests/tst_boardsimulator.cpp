#include "boardlink.h"
#include "boardsimulator.h"
#include "coretestsupport.h"
#include "ptytestsupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <numeric>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using FrameKind = BoardSimulator::FrameKind;
using TestSupport::hex;
using TestSupport::imageWithoutFF;
using TestSupport::updatePacket;

namespace {

QByteArray joined(const QSignalSpy &spy, int argument = 0)
{
    QByteArray all;
    for (const QList<QVariant> &emission : spy)
        all += emission.at(argument).toByteArray();
    return all;
}

QStringList meanings(const QSignalSpy &frameSpy)
{
    QStringList out;
    for (const QList<QVariant> &emission : frameSpy)
        out << emission.at(2).toString();
    return out;
}

// Settings under which the output comes out synchronously and repeatably, with the
// test's own changes.
BoardSimulator::Settings deterministic(const std::function<void(BoardSimulator::Settings &)> &change = {})
{
    BoardSimulator::Settings settings;
    settings.seed = 42;
    settings.writes.splitDelayMs = 0;
    if (change)
        change(settings);
    return settings;
}

// A simulated board, on those settings unless a test gives others, keeping what it reports.
class Board : public BoardSimulator
{
public:
    explicit Board(const Settings &settings = deterministic()) : BoardSimulator(settings) {}

    QSignalSpy frames { this, &BoardSimulator::frameDecoded };
    QSignalSpy skipped { this, &BoardSimulator::bytesSkipped };
    QSignalSpy lines { this, &BoardSimulator::lineLogged };
    QSignalSpy writes { this, &BoardSimulator::writeRequested };
    QSignalSpy completed { this, &BoardSimulator::imageCompleted };
};

QList<QByteArray> telemetrySamples(BoardSimulator &simulator, int count)
{
    QList<QByteArray> frames;
    for (int i = 0; i < count; ++i)
        frames << simulator.nextTelemetryFrame();
    return frames;
}

QList<int> readingsAt(const QList<QByteArray> &frames, int index)
{
    QList<int> readings;
    for (const QByteArray &frame : frames)
        readings << qint8(frame[index]);
    return readings;
}

double mean(const QList<int> &values)
{
    return std::accumulate(values.cbegin(), values.cend(), 0.0) / double(values.size());
}

} // namespace

class TestBoardSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryFrameKind_data();
    void decodesEveryFrameKind();
    void boardStateFollowsCommands_data();
    void boardStateFollowsCommands();
    void registerMapsKeepWrites();
    void unknownBytesReportedAndSkipped_data();
    void unknownBytesReportedAndSkipped();
    void frameSplitAcrossReceives_data();
    void frameSplitAcrossReceives();
    void incompleteFrameDroppedAfterIdle();
    void imageFinishedWhenPacketsStop();
    void imageFinishedByJump();
    void packetBeyondImageLimitIgnored();
    void telemetryFollowsState_data();
    void telemetryFollowsState();
    void railOnGivesAnInrush_data();
    void railOnGivesAnInrush();
    void telemetryRepeatsWithSeed();
    void telemetryStreamsWhilePlotting();
    void telemetryKeepsItsRate_data();
    void telemetryKeepsItsRate();
    void writeBoundaries_data();
    void writeBoundaries();
    void splitDelayHoldsSecondHalf();
    void mergeWindowFlushesShortBatch();
    void textAnswers_data();
    void textAnswers();
    void textAnswersCanBeSwitchedOff();
    void linkOnSerialDevice();
    void linkOnOwnPty();
    void linkReportsHangUp();
    void linkRefusesWhatIsNoSerialDevice_data();
    void linkRefusesWhatIsNoSerialDevice();
    void commandLineRefused_data();
    void commandLineRefused();
    void replaySendsTheCapture();
};

void TestBoardSimulator::decodesEveryFrameKind_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<FrameKind>("kind");
    QTest::addColumn<QString>("meaning");

    QTest::newRow("reset") << hex("A4A4726573657400") << FrameKind::Reset << "ARM reset";
    QTest::newRow("erase") << hex("A9A99A05") << FrameKind::EraseApp << "erase app, parameter 5";
    QTest::newRow("jump") << hex("A8A89B63") << FrameKind::JumpToApp << "jump to app, parameter 99";
    QTest::newRow("rail on") << hex("A5A500004E80AEAE") << FrameKind::Gpu << "GPU rail on, fan 0x80";
    QTest::newRow("rail off") << hex("A5A5000046 20AEAE") << FrameKind::Gpu << "GPU rail off, fan 0x20";
    QTest::newRow("plotting on") << hex("A5A501004E80AEAE") << FrameKind::Gpu << "GPU plotting on";
    QTest::newRow("plotting off") << hex("A5A502004680AEAE") << FrameKind::Gpu << "GPU plotting off";
    QTest::newRow("fan") << hex("A5A503004E40AEAE") << FrameKind::Gpu << "GPU fan speed 0x40 (64)";
    QTest::newRow("unknown selector") << hex("A5A507004E80AEAE") << FrameKind::Gpu << "GPU selector 0x07 not understood";
    QTest::newRow("rail byte neither N nor F") << hex("A5A5000041 80AEAE") << FrameKind::Gpu
                                               << "GPU rail byte 0x41 not understood, rail left off";
    QTest::newRow("AD initialise") << hex("9653000000000000") << FrameKind::AdRegister << "AD initialise";
    QTest::newRow("AD initialise with old fields") << hex("96530000AB12EFCD") << FrameKind::AdRegister << "AD initialise";
    QTest::newRow("AD write") << hex("96530100AB12EFCD") << FrameKind::AdRegister << "AD write reg 0x12AB = 0xCDEF";
    QTest::newRow("DA initialise") << hex("9122000000000000") << FrameKind::DaRegister << "DA initialise";
    QTest::newRow("DA write") << hex("9122010034127856") << FrameKind::DaRegister << "DA write reg 0x1234 = 0x5678";
    QTest::newRow("update packet at 0") << updatePacket(0, imageWithoutFF(32)) << FrameKind::UpdatePacket
                                        << "update packet offset 0 (32 bytes); 32 bytes in 1 packet(s)";
    QTest::newRow("update packet at 288") << updatePacket(288, imageWithoutFF(32)) << FrameKind::UpdatePacket
                                          << "update packet offset 288 (32 bytes), skips 288 bytes after offset 0; "
                                             "32 bytes in 1 packet(s)";
}

void TestBoardSimulator::decodesEveryFrameKind()
{
    QFETCH(QByteArray, frame);
    QFETCH(FrameKind, kind);
    QFETCH(QString, meaning);

    Board simulator;

    simulator.receive(frame);

    QCOMPARE(simulator.frames, QList<QVariantList>({ { QVariant::fromValue(kind), frame, meaning } }));
    QCOMPARE(simulator.skipped.count(), 0);
    QCOMPARE(simulator.frameCount(kind), 1);

    // The printed line carries the time, the bytes in hex and the meaning.
    QVERIFY(!simulator.lines.isEmpty());
    const QString line = simulator.lines.at(0).at(0).toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} <- ")).match(line).hasMatch(), qPrintable(line));
    QVERIFY2(line.contains(BoardSimulator::hex(frame)), qPrintable(line));
    QVERIFY2(line.endsWith(meaning), qPrintable(line));
}

void TestBoardSimulator::boardStateFollowsCommands_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("railOn");
    QTest::addColumn<int>("fanSpeed");
    QTest::addColumn<bool>("plotting");

    const QByteArray railOn = hex("A5A500004E80AEAE");
    const QByteArray railOff = hex("A5A500004620AEAE");
    const QByteArray plotOn = hex("A5A501004E80AEAE");
    const QByteArray plotOff = hex("A5A502004E80AEAE");
    const QByteArray reset = hex("A4A4726573657400");

    QTest::newRow("power-on state") << QByteArray() << false << 0 << false;
    QTest::newRow("rail on") << railOn << true << 0x80 << false;
    QTest::newRow("rail on then off") << railOn + railOff << false << 0x20 << false;
    QTest::newRow("fan after rail on") << railOn + hex("A5A503004E33AEAE") << true << 0x33 << false;
    QTest::newRow("plotting frame carries fan byte it does not apply")
            << hex("A5A503004E10AEAE") + hex("A5A501004E80AEAE") << false << 0x10 << true;
    QTest::newRow("plotting on then off") << plotOn + plotOff << false << 0 << false;
    QTest::newRow("reset drops rail, fan and plotting") << railOn + plotOn + reset << false << 0 << false;
    QTest::newRow("bad rail byte changes nothing") << railOn + hex("A5A5000041 20AEAE") << true << 0x80 << false;
}

void TestBoardSimulator::boardStateFollowsCommands()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, railOn);
    QFETCH(int, fanSpeed);
    QFETCH(bool, plotting);

    Board simulator;
    simulator.receive(stream);

    QCOMPARE(simulator.isRailOn(), railOn);
    QCOMPARE(int(simulator.fanSpeed()), fanSpeed);
    QCOMPARE(simulator.isPlotting(), plotting);
    QCOMPARE(simulator.skippedByteCount(), 0);
}

void TestBoardSimulator::registerMapsKeepWrites()
{
    Board simulator;

    simulator.receive(hex("96530100AB12EFCD") + hex("9653010001000200") + hex("9122010001003412"));
    simulator.receive(hex("96530100AB12BEBA"));
    simulator.receive(hex("96530000AB12BEBA"));
    simulator.receive(hex("A4A4726573657400"));

    const QMap<quint16, quint16> ad { { 0x12AB, 0xBABE }, { 0x0001, 0x0002 } };
    const QMap<quint16, quint16> da { { 0x0001, 0x1234 } };
    QCOMPARE(simulator.adRegisters(), ad);
    QCOMPARE(simulator.daRegisters(), da);
    QCOMPARE(simulator.adInitialisations(), 1);
    QCOMPARE(simulator.daInitialisations(), 0);
    QCOMPARE(simulator.frameCount(FrameKind::AdRegister), 4);
    QCOMPARE(simulator.frameCount(FrameKind::DaRegister), 1);
}

void TestBoardSimulator::unknownBytesReportedAndSkipped_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("skippedBytes");
    QTest::addColumn<QStringList>("decoded");

    const QByteArray reset = hex("A4A4726573657400");
    const QByteArray railOn = hex("A5A500004E80AEAE");

    QTest::newRow("text before a frame") << QByteArray("hello") + reset << QByteArray("hello") << QStringList { "ARM reset" };
    QTest::newRow("junk between frames") << reset + hex("0102") + railOn << hex("0102")
                                         << QStringList { "ARM reset", "GPU rail on, fan 0x80" };
    QTest::newRow("junk after a frame") << railOn + hex("00FF") << hex("00FF") << QStringList { "GPU rail on, fan 0x80" };
    QTest::newRow("GPU header with a broken trailer") << hex("A5A500004E80AE00") + reset << hex("A5A500004E80AE00")
                                                      << QStringList { "ARM reset" };
    QTest::newRow("erase header with the jump code") << hex("A9A99B05") + reset << hex("A9A99B05")
                                                     << QStringList { "ARM reset" };
    QTest::newRow("register frame with an unknown order") << hex("9653020000000000") << hex("9653020000000000")
                                                          << QStringList {};
    QTest::newRow("doubled header byte before a frame") << hex("A5") + railOn << hex("A5")
                                                        << QStringList { "GPU rail on, fan 0x80" };
    QTest::newRow("reset word with a typo") << hex("A4A4726573657401") + railOn << hex("A4A4726573657401")
                                            << QStringList { "GPU rail on, fan 0x80" };
}

void TestBoardSimulator::unknownBytesReportedAndSkipped()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, skippedBytes);
    QFETCH(QStringList, decoded);

    Board simulator;

    simulator.receive(stream);

    QCOMPARE(meanings(simulator.frames), decoded);
    QCOMPARE(joined(simulator.skipped), skippedBytes);
    QCOMPARE(simulator.skippedByteCount(), skippedBytes.size());

    // Skipped bytes are reported as a problem with their count and their hex.
    const auto reportsThem = [&skippedBytes](const QList<QVariant> &line) {
        const QString text = line.at(0).toString();
        return line.at(1).value<BoardSimulator::LineKind>() == BoardSimulator::LineKind::Problem
            && text.contains(BoardSimulator::hex(skippedBytes))
            && text.contains(QStringLiteral("%1 byte(s) not understood").arg(skippedBytes.size()));
    };
    QVERIFY(std::any_of(simulator.lines.cbegin(), simulator.lines.cend(), reportsThem));
}

void TestBoardSimulator::frameSplitAcrossReceives_data()
{
    QTest::addColumn<int>("pieceSize");

    for (const int size : { 1, 2, 3, 5, 7, 13, 39, 41 })
        QTest::addRow("pieces of %d bytes", size) << size;
}

void TestBoardSimulator::frameSplitAcrossReceives()
{
    QFETCH(int, pieceSize);

    const QByteArray stream = hex("A4A4726573657400") + hex("A5A500004E80AEAE") + updatePacket(0, imageWithoutFF(32))
            + hex("96530100AB12EFCD") + hex("A9A99A05") + updatePacket(32, imageWithoutFF(64).mid(32))
            + hex("A8A89B01");

    Board whole;
    whole.receive(stream);
    Board pieces;
    for (const QByteArray &piece : TestSupport::cutEvery(stream, pieceSize))
        pieces.receive(piece);

    QCOMPARE(pieces.frames.count(), 7);
    QCOMPARE(meanings(pieces.frames), meanings(whole.frames));
    QCOMPARE(pieces.skipped.count(), 0);
    QCOMPARE(pieces.adRegisters().value(0x12AB), quint16(0xCDEF));
    QCOMPARE(pieces.imageBytes(), imageWithoutFF(64));
}

void TestBoardSimulator::incompleteFrameDroppedAfterIdle()
{
    Board simulator(deterministic([](auto &settings) { settings.idleTimeoutMs = 20; }));

    simulator.receive(hex("A5A50000"));
    QCOMPARE(simulator.skipped.count(), 0);
    QVERIFY(simulator.skipped.wait(2000));
    QCOMPARE(simulator.skipped.at(0).at(0).toByteArray(), hex("A5A50000"));
    QVERIFY(simulator.lines.last().at(0).toString().contains(QStringLiteral("incomplete frame, 4 byte(s) dropped")));

    // What follows is decoded on its own, not glued to the dropped bytes.
    simulator.frames.clear();
    simulator.receive(hex("4E80AEAE") + hex("A4A4726573657400"));
    QCOMPARE(meanings(simulator.frames), QStringList { "ARM reset" });
    QCOMPARE(joined(simulator.skipped), hex("A5A50000") + hex("4E80AEAE"));
}

void TestBoardSimulator::imageFinishedWhenPacketsStop()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("image.bin"));

    Board simulator(deterministic([&path](auto &settings) {
        settings.idleTimeoutMs = 30;
        settings.imageOutputPath = path;
    }));

    const QByteArray image = imageWithoutFF(70);
    for (int offset = 0; offset < image.size(); offset += 32)
        simulator.receive(updatePacket(quint32(offset), image.mid(offset, 32)));
    QCOMPARE(simulator.completed.count(), 0);
    QVERIFY(simulator.completed.wait(2000));

    const auto report = simulator.completed.at(0).at(0).value<BoardSimulator::ImageReport>();
    QCOMPARE(report.size, 70);
    QCOMPARE(report.writtenTo, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), image);
    const QByteArray crc = QByteArray::number(BoardSimulator::crc32(image), 16).rightJustified(8, '0').toUpper();
    QCOMPARE(joined(simulator.writes), "Image received: 70 bytes, CRC-32 0x" + crc + "\r\n");

    // The next packet begins a new image.
    simulator.receive(updatePacket(0, imageWithoutFF(8)));
    QCOMPARE(simulator.imageBytes(), imageWithoutFF(8));
    QCOMPARE(simulator.imageReport().packets, 1);
}

void TestBoardSimulator::imageFinishedByJump()
{
    Board simulator(deterministic([](auto &settings) { settings.idleTimeoutMs = 60000; }));

    simulator.receive(updatePacket(0, imageWithoutFF(32)) + updatePacket(32, imageWithoutFF(64).mid(32, 20)));
    simulator.receive(hex("A8A89B00"));

    QCOMPARE(simulator.completed.count(), 1);
    QCOMPARE(simulator.completed.at(0).at(0).value<BoardSimulator::ImageReport>().size, 52);
    QCOMPARE(simulator.lastJumpParameter(), 0);

    // The jump is logged first, the image it closes right after it.
    QStringList kinds;
    for (const QList<QVariant> &line : std::as_const(simulator.lines)) {
        const QString text = line.at(0).toString();
        if (text.endsWith(QLatin1String("jump to app, parameter 0")))
            kinds << QStringLiteral("jump");
        else if (text.contains(QLatin1String("image finished: 52 bytes")))
            kinds << QStringLiteral("image");
    }
    QCOMPARE(kinds, (QStringList { "jump", "image" }));

    // A second jump with no packet in between finishes nothing.
    simulator.receive(hex("A8A89B00"));
    QCOMPARE(simulator.completed.count(), 1);
}

void TestBoardSimulator::packetBeyondImageLimitIgnored()
{
    Board simulator;

    simulator.receive(updatePacket(0xFFFFFFF0u, imageWithoutFF(32)));

    QCOMPARE(simulator.frames.count(), 1);
    QVERIFY(simulator.frames.at(0).at(2).toString().contains(QLatin1String("ignored")));
    QVERIFY(!simulator.isImagePending());
    QVERIFY(simulator.imageBytes().isEmpty());
}

void TestBoardSimulator::telemetryFollowsState_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("reading");
    QTest::addColumn<bool>("rises");

    const QByteArray railOn = hex("A5A500004E00AEAE");
    const QByteArray fanFull = hex("A5A503004EFFAEAE");
    const QByteArray fanOff = hex("A5A503004E00AEAE");

    QTest::newRow("rail on raises 12V") << QByteArray() << railOn << 8 << true;
    QTest::newRow("rail on raises the total") << QByteArray() << railOn << 9 << true;
    QTest::newRow("rail on leaves 1.8V") << QByteArray() << railOn << 5 << false;
    QTest::newRow("rail on leaves 3.3V") << QByteArray() << railOn << 6 << false;
    QTest::newRow("fan speed raises 5V") << fanOff << fanFull << 7 << true;
    QTest::newRow("fan speed raises the total") << fanOff << fanFull << 9 << true;
    QTest::newRow("fan speed leaves 12V") << fanOff << fanFull << 8 << false;
}

void TestBoardSimulator::telemetryFollowsState()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(int, reading);
    QFETCH(bool, rises);

    Board simulator;
    const int noise = simulator.settings().noiseAmplitude;
    QVERIFY(noise > 0);

    simulator.receive(before);
    const QList<QByteArray> low = telemetrySamples(simulator, 50);
    simulator.receive(after);
    const QList<QByteArray> high = telemetrySamples(simulator, 50);

    for (const QByteArray &frame : low + high) {
        QCOMPARE(frame.size(), BoardSimulator::telemetryFrameLength);
        QVERIFY(frame.startsWith(hex("FFFF")));
    }
    const QList<int> lowReadings = readingsAt(low, reading);
    const QList<int> highReadings = readingsAt(high, reading);
    const double difference = mean(highReadings) - mean(lowReadings);
    if (rises) {
        // Well clear of the noise, both on average and frame by frame.
        QVERIFY2(difference > 4 * noise, qPrintable(QString::number(difference)));
        QVERIFY(*std::min_element(highReadings.cbegin(), highReadings.cend())
                > *std::max_element(lowReadings.cbegin(), lowReadings.cend()));
    } else {
        QVERIFY2(qAbs(difference) <= noise, qPrintable(QString::number(difference)));
    }
    // The noise is there: readings vary from frame to frame.
    QVERIFY(QSet<int>(highReadings.cbegin(), highReadings.cend()).size() > 1);
}

void TestBoardSimulator::railOnGivesAnInrush_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("alreadyOn");

    QTest::newRow("50/s") << 50 << false;
    QTest::newRow("1000/s") << 1000 << false;
    QTest::newRow("rail on again while on") << 50 << true;
}

// About twice the settled 12V reading at first, settled from 200 ms on, timed in
// frames at the board's rate as the console counts them; the total carries it.
void TestBoardSimulator::railOnGivesAnInrush()
{
    QFETCH(int, rate);
    QFETCH(bool, alreadyOn);

    Board simulator(deterministic([rate](auto &settings) {
        settings.telemetryRate = rate;
        settings.noiseAmplitude = 0;
    }));
    const QByteArray railOn = hex("A5A500004E00AEAE");
    simulator.receive(alreadyOn ? railOn : QByteArray());
    const QList<QByteArray> before = telemetrySamples(simulator, rate);
    simulator.receive(railOn);
    const QList<QByteArray> frames = telemetrySamples(simulator, rate * 2 / 5);
    const QList<int> rail = readingsAt(frames, 8);
    const QList<int> total = readingsAt(frames, 9);
    const int settled = rail.constLast();
    QVERIFY(std::is_sorted(rail.crbegin(), rail.crend()));
    QCOMPARE(rail.mid(rate / 5), QList<int>(rail.size() - rate / 5, settled));
    const int peak = alreadyOn ? settled : 2 * settled;
    QVERIFY2(qAbs(rail.constFirst() - peak) <= 2, qPrintable(QString::number(rail.constFirst())));
    QVERIFY(qAbs(total.constFirst() - total.constLast() - (rail.constFirst() - settled) * 0.45) <= 1);
    QCOMPARE(readingsAt(before, 8).constLast() == settled, alreadyOn);
}

void TestBoardSimulator::telemetryRepeatsWithSeed()
{
    BoardSimulator::Settings seven;
    seven.seed = 7;
    BoardSimulator first(seven);
    BoardSimulator second(seven);
    BoardSimulator other;
    seven.seed = 8;
    other.setSettings(seven);
    const QList<QByteArray> a = telemetrySamples(first, 30);
    const QList<QByteArray> b = telemetrySamples(second, 30);
    const QList<QByteArray> c = telemetrySamples(other, 30);
    QCOMPARE(a, b);
    QVERIFY(a != c);

    // Bytes 2 to 4 count the frames, low byte first.
    QCOMPARE(a.at(0).mid(2, 3), hex("000000"));
    QCOMPARE(a.at(1).mid(2, 3), hex("010000"));
    QCOMPARE(a.at(29).mid(2, 3), hex("1D0000"));
}

void TestBoardSimulator::telemetryStreamsWhilePlotting()
{
    Board simulator(deterministic([](auto &settings) { settings.telemetryRate = 200; }));

    simulator.receive(hex("A5A500004E80AEAE"));
    simulator.writes.clear();
    QVERIFY(!simulator.isPlotting());
    // Plotting off stops the stream, and a reset as well.
    for (const QByteArray &stop : { hex("A5A502004E80AEAE"), hex("A4A4726573657400") }) {
        simulator.receive(hex("A5A501004E80AEAE"));
        QVERIFY(simulator.isPlotting());
        QTRY_VERIFY_WITH_TIMEOUT(simulator.writes.count() >= 3, 2000);
        for (const QList<QVariant> &write : std::as_const(simulator.writes)) {
            const QByteArray frame = write.at(0).toByteArray();
            QCOMPARE(frame.size(), 10);
            QVERIFY(frame.startsWith(hex("FFFF")));
            QVERIFY(qint8(frame[8]) > 50); // the rail is on
        }
        simulator.receive(stop);
        QVERIFY(!simulator.isPlotting());
        simulator.writes.clear();
        QVERIFY(!simulator.writes.wait(30));
    }
}

void TestBoardSimulator::telemetryKeepsItsRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("split");

    // Rates whose period is no whole number of milliseconds, and the highest.
    QTest::newRow("50/s") << 50 << false;
    QTest::newRow("300/s") << 300 << false;
    QTest::newRow("400/s") << 400 << false;
    QTest::newRow("600/s") << 600 << false;
    QTest::newRow("1000/s") << 1000 << false;
    // Writes cut in two with a pause longer than the period.
    QTest::newRow("1000/s, each write cut with a 20 ms pause") << 1000 << true;
}

// A frame comes late, never early. How late each frame is against the nominal rate
// drifts when the real rate is another; the drift is taken between the medians of
// the first and the second half, so that a few late wake-ups of a loaded machine do
// not count. The test waits in an event loop of its own: QTRY_* sleeps between its
// looks, and would make the timer late itself.
void TestBoardSimulator::telemetryKeepsItsRate()
{
    QFETCH(int, rate);
    QFETCH(bool, split);

    Board simulator(deterministic([rate, split](auto &settings) {
        settings.telemetryRate = rate;
        settings.writes = { 1, 500, split, 4, 20 };
    }));
    const int frames = std::max(rate / 2, 40);
    QEventLoop loop;
    QElapsedTimer clock;
    QList<double> frameStarts;
    qint64 delivered = 0;
    qint64 deliveredAtLastStart = 0;
    connect(&simulator, &BoardSimulator::writeRequested, this, [&](const QByteArray &piece) {
        if (piece.startsWith(hex("FFFF"))) {
            frameStarts.append(double(clock.nsecsElapsed()));
            deliveredAtLastStart = delivered;
            if (frameStarts.size() == frames)
                loop.quit();
        }
        delivered += piece.size();
    });

    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    clock.start();
    simulator.setPlotting(true);
    loop.exec();
    simulator.setPlotting(false);
    QVERIFY(frameStarts.size() >= frames);

    // Everything before the last frame is out: nothing lags behind.
    QCOMPARE(deliveredAtLastStart, (frameStarts.size() - 1) * BoardSimulator::telemetryFrameLength);

    const double period = 1e9 / rate;
    const int half = frames / 2;
    QList<double> lateness[2];
    for (int i = 0; i < 2 * half; ++i)
        lateness[i / half].append(frameStarts.at(i) - i * period);
    const auto median = [](QList<double> &values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values.at(values.size() / 2);
    };
    const double measured = 1e9 / (period + (median(lateness[1]) - median(lateness[0])) / half);
    qInfo("%.2f frames/s", measured);
    QVERIFY2(qAbs(measured / rate - 1) <= 0.02, qPrintable(QStringLiteral("%1 frames/s").arg(measured)));
}

void TestBoardSimulator::writeBoundaries_data()
{
    QTest::addColumn<int>("merge");
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("splitAt");
    QTest::addColumn<QList<int>>("sizes");

    // Three register writes, each answered with a 25-byte line.
    QTest::newRow("one write per answer") << 1 << false << 0 << QList<int> { 25, 25, 25 };
    QTest::newRow("merge 3") << 3 << false << 0 << QList<int> { 75 };
    QTest::newRow("split at 5") << 1 << true << 5 << QList<int> { 5, 20, 5, 20, 5, 20 };
    QTest::newRow("split beyond the end cuts before the last byte") << 1 << true << 100 << QList<int> { 24, 1, 24, 1, 24, 1 };
    QTest::newRow("merge 3 and split at 30") << 3 << true << 30 << QList<int> { 30, 45 };
    QTest::newRow("random split points") << 1 << true << 0 << QList<int> {};
}

void TestBoardSimulator::writeBoundaries()
{
    QFETCH(int, merge);
    QFETCH(bool, split);
    QFETCH(int, splitAt);
    QFETCH(QList<int>, sizes);

    Board simulator(deterministic([&](auto &settings) { settings.writes = { merge, 500, split, splitAt, 0 }; }));

    simulator.receive(hex("9653010001000200"));
    simulator.receive(hex("9653010003000400"));
    simulator.receive(hex("9122010005000600"));

    QCOMPARE(joined(simulator.writes),
             QByteArray("AD reg 0x0001 <= 0x0002\r\nAD reg 0x0003 <= 0x0004\r\nDA reg 0x0005 <= 0x0006\r\n"));
    QList<int> written;
    for (const QList<QVariant> &write : std::as_const(simulator.writes))
        written << int(write.at(0).toByteArray().size());
    if (!sizes.isEmpty()) {
        QCOMPARE(written, sizes);
        return;
    }
    // Random cuts: every answer in two non-empty pieces, not all at one point.
    QCOMPARE(written.size(), 6);
    QSet<int> firstPieces;
    for (int i = 0; i < written.size(); i += 2) {
        QVERIFY(written.at(i) > 0 && written.at(i + 1) > 0);
        QCOMPARE(written.at(i) + written.at(i + 1), 25);
        firstPieces.insert(written.at(i));
    }
    QVERIFY(firstPieces.size() > 1);
}

void TestBoardSimulator::splitDelayHoldsSecondHalf()
{
    Board simulator(deterministic([](auto &settings) { settings.writes = { 1, 500, true, 4, 20 }; }));

    // Only the first piece is out; the rest after the delay.
    simulator.receive(hex("A4A4726573657400"));
    QCOMPARE(simulator.writes, QList<QVariantList>({ { QByteArray("Boar") } }));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.writes.count(), 2, 2000);

    // A write that comes while a rest is held pushes it out first, in order: nothing
    // waits behind the pause, so nothing piles up however often the board writes.
    simulator.receive(hex("9653000000000000"));
    simulator.receive(hex("9122000000000000"));
    QCOMPARE(simulator.writes.count(), 5);
    QCOMPARE(simulator.writes.at(4).at(0).toByteArray(), QByteArray("DA i"));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.writes.count(), 6, 2000);
    QCOMPARE(joined(simulator.writes), QByteArray("Board bootloader v1.0 ready\r\nAD initialised\r\nDA initialised\r\n"));
}

void TestBoardSimulator::mergeWindowFlushesShortBatch()
{
    Board simulator(deterministic([](auto &settings) { settings.writes = { 4, 20, false, 0, 0 }; }));

    simulator.receive(hex("9653000000000000"));
    simulator.receive(hex("9122000000000000"));
    QCOMPARE(simulator.writes.count(), 0);
    QVERIFY(simulator.writes.wait(2000));
    QCOMPARE(simulator.writes, QList<QVariantList>({ { QByteArray("AD initialised\r\nDA initialised\r\n") } }));

    // flush() writes a partial batch at once.
    simulator.receive(hex("9653000000000000"));
    simulator.flush();
    QCOMPARE(simulator.writes.count(), 2);
    QCOMPARE(simulator.writes.at(1).at(0).toByteArray(), QByteArray("AD initialised\r\n"));
}

void TestBoardSimulator::textAnswers_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("reset") << hex("A4A4726573657400") << QByteArray("Board bootloader v1.0 ready\r\n");
    QTest::newRow("erase") << hex("A9A99A05") << QByteArray("App area erased (parameter 5)\r\n");
    QTest::newRow("jump") << hex("A8A89B63") << QByteArray("Starting app (parameter 99)\r\n");
    QTest::newRow("rail on") << hex("A5A500004E80AEAE") << QByteArray("GPU rail on, fan 0x80\r\n");
    QTest::newRow("rail off") << hex("A5A500004620AEAE") << QByteArray("GPU rail off, fan 0x20\r\n");
    QTest::newRow("fan") << hex("A5A503004E64AEAE") << QByteArray("Fan speed 100\r\n");
    QTest::newRow("plotting answers with telemetry only") << hex("A5A501004E80AEAE") << QByteArray();
    QTest::newRow("AD write") << hex("96530100AB12EFCD") << QByteArray("AD reg 0x12AB <= 0xCDEF\r\n");
    QTest::newRow("DA write") << hex("91220100AB12EFCD") << QByteArray("DA reg 0x12AB <= 0xCDEF\r\n");
    QTest::newRow("AD initialise") << hex("9653000000000000") << QByteArray("AD initialised\r\n");
    QTest::newRow("unknown bytes") << QByteArray("hi") << QByteArray("? 2 byte(s) not understood\r\n");
}

void TestBoardSimulator::textAnswers()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);

    Board simulator;

    simulator.receive(command);
    simulator.setPlotting(false);

    QCOMPARE(joined(simulator.writes), answer);
    // Text must never be taken for a telemetry frame.
    for (const QList<QVariant> &write : std::as_const(simulator.writes))
        QVERIFY(!write.at(0).toByteArray().startsWith(hex("FFFF")));
    bool logged = answer.isEmpty();
    for (const QList<QVariant> &line : std::as_const(simulator.lines))
        logged = logged || line.at(1).value<BoardSimulator::LineKind>() == BoardSimulator::LineKind::Text;
    QVERIFY(logged);
}

void TestBoardSimulator::textAnswersCanBeSwitchedOff()
{
    Board simulator(deterministic([](auto &settings) {
        settings.textAnswers = false;
        settings.telemetryRate = 200;
    }));

    simulator.receive(hex("A4A4726573657400") + hex("96530100AB12EFCD") + QByteArray("junk"));

    QCOMPARE(simulator.writes.count(), 0);
    QCOMPARE(simulator.adRegisters().value(0x12AB), quint16(0xCDEF));
    // Telemetry still flows.
    simulator.setPlotting(true);
    QVERIFY(simulator.writes.wait(2000));
    QVERIFY(simulator.writes.at(0).at(0).toByteArray().startsWith(hex("FFFF")));
}

void TestBoardSimulator::linkOnSerialDevice()
{
    // The console side of a pty pair plays the role of the second adapter.
    TestPty cable;
    QVERIFY(cable.isValid());
    Board simulator;
    BoardLink link;
    QVERIFY2(link.openDevice(cable.slavePath()), qPrintable(link.errorString()));
    QVERIFY(link.isOpen());
    QCOMPARE(link.portName(), cable.slavePath());
    link.attach(&simulator);

    QVERIFY(cable.writeMaster(hex("A4A47265")));
    QVERIFY(cable.writeMaster(hex("73657400") + hex("96530100AB12EFCD")));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.frames.count(), 2, 2000);

    const QByteArray expected("Board bootloader v1.0 ready\r\nAD reg 0x12AB <= 0xCDEF\r\n");
    QCOMPARE(cable.readMasterExactly(expected.size(), 2000), expected);
}

void TestBoardSimulator::linkOnOwnPty()
{
    Board simulator;
    BoardLink link;
    QVERIFY2(link.openPty(), qPrintable(link.errorString()));
    QVERIFY(link.portName().startsWith(QLatin1String("/dev/")));
    link.attach(&simulator);

    const int console = ::open(QFile::encodeName(link.portName()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(console >= 0);
    const QByteArray command = hex("A5A500004E80AEAE");
    QCOMPARE(::write(console, command.constData(), size_t(command.size())), ssize_t(command.size()));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.frames.count(), 1, 2000);
    QVERIFY(simulator.isRailOn());

    const QByteArray expected("GPU rail on, fan 0x80\r\n");
    QCOMPARE(readExactly(console, expected.size(), 2000), expected);
    ::close(console);
}

void TestBoardSimulator::linkReportsHangUp()
{
    PtyPair cable;
    QVERIFY(cable.isValid());
    BoardLink link;
    QVERIFY(link.openDevice(cable.slavePath()));
    QSignalSpy disconnected(&link, &BoardLink::disconnected);

    cable.closeMaster();

    QVERIFY(disconnected.wait(2000));
    QVERIFY(!link.isOpen());
    QVERIFY(!link.errorString().isEmpty());
    // Writing to a closed link is a no-op, not a crash.
    link.write(QByteArray("late"));
    QCOMPARE(link.pendingBytes(), 0);
}

void TestBoardSimulator::linkRefusesWhatIsNoSerialDevice_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("missing path") << QStringLiteral("/dev/no-such-serial-adapter");
    QTest::newRow("not a terminal") << QStringLiteral("/dev/null");
}

void TestBoardSimulator::linkRefusesWhatIsNoSerialDevice()
{
    QFETCH(QString, path);

    BoardLink link;
    QVERIFY(!link.openDevice(path));
    QVERIFY(!link.isOpen());
    QVERIFY(link.errorString().contains(path));
}

void TestBoardSimulator::commandLineRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString usage = QStringLiteral("Usage: board-sim [options]");
    QTest::newRow("stray argument") << QStringList { "extra" } << usage;
    QTest::newRow("value after an option that takes none") << QStringList { "--split", "3" } << usage;
    QTest::newRow("two values for one option") << QStringList { "--rate", "50", "60" } << usage;
    QTest::newRow("rate out of range") << QStringList { "--rate", "1001" } << "--rate needs a whole number from 1 to 1000";
    QTest::newRow("replay of a missing file") << QStringList { "--replay", "/no/such/capture.bin" }
                                              << "--replay: cannot read /no/such/capture.bin";
    QTest::newRow("replay of a directory") << QStringList { "--replay", "/" } << "--replay: / is a directory";
}

void TestBoardSimulator::commandLineRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    QProcess boardSim;
    boardSim.start(QStringLiteral(BOARD_SIM_EXECUTABLE), arguments);
    QVERIFY(boardSim.waitForFinished(10000));
    QCOMPARE(boardSim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(boardSim.exitCode(), 2);
    const QString errors = QString::fromLocal8Bit(boardSim.readAllStandardError());
    QVERIFY2(errors.contains(message), qPrintable(errors));
    QVERIFY2(!boardSim.readAllStandardOutput().contains("Board on"), "the board started");
}

// What a board sent, telemetry and text mixed, comes out of the pty as it was
// recorded, well beyond what the pty holds when nobody reads.
void TestBoardSimulator::replaySendsTheCapture()
{
    BoardSimulator board(deterministic());
    QByteArray capture;
    for (int i = 0; capture.size() < 20000; ++i)
        capture += board.nextTelemetryFrame() + (i % 7 == 0 ? QByteArray("AD reg 0x0001 <= 0x0002\r\n") : QByteArray());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    QVERIFY(TestSupport::writeFile(path, capture));

    QProcess boardSim;
    boardSim.start(QStringLiteral(BOARD_SIM_EXECUTABLE), { QStringLiteral("--replay"), path });
    QVERIFY(boardSim.waitForReadyRead(10000));
    const QRegularExpressionMatch port
            = QRegularExpression(QStringLiteral("connect the console to (\\S+)")).match(QString::fromLocal8Bit(boardSim.readLine()));
    QVERIFY(port.hasMatch());
    const int console = ::open(QFile::encodeName(port.captured(1)).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(console >= 0);
    // The replay starts once the line is set up, as the console's port does on opening.
    termios line {};
    QCOMPARE(::tcgetattr(console, &line), 0);
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, B921600);
    QCOMPARE(::tcsetattr(console, TCSANOW, &line), 0);
    // board-sim exits only once nothing it sent is left unread: no byte more came.
    const QByteArray received = readExactly(console, capture.size(), 10000);
    QVERIFY(boardSim.waitForFinished(10000));
    ::close(console);
    QCOMPARE(received.size(), capture.size());
    QVERIFY(received == capture);
    QCOMPARE(boardSim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(boardSim.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestBoardSimulator)

#include "tst_boardsimulator.moc"
