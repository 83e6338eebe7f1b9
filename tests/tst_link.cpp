#include "link/boardsession.h"
#include "link/firmwareflasher.h"
#include "link/portregistry.h"
#include "link/serialporthangup.h"
#include "link/serialwriter.h"
#include "coretestsupport.h"
#include "ptytestsupport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <limits>
#include <optional>

// The serial link alone, on ports of its own over pty pairs: no window, no widgets.
class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void drainTimeout_data();
    void drainTimeout();
    void lineSettingsText();
    void extraPortsListedOnce();
    void hangUpWatch_data();
    void hangUpWatch();
    void flasherPacesPackets_data();
    void flasherPacesPackets();
    void flasherEndsEarly_data();
    void flasherEndsEarly();
    void writerKeepsOrderAndLoopAlive_data();
    void writerKeepsOrderAndLoopAlive();
    void urgentSendGoesOutAtOnce_data();
    void urgentSendGoesOutAtOnce();
};

void TestLink::flasherPacesPackets_data()
{
    QTest::addColumn<int>("size");

    QTest::newRow("one packet") << 10;
    QTest::newRow("a short last packet") << 1000;
    QTest::newRow("16 KiB") << 16 * 1024;
}

// The flasher alone, on a port of its own: the board sees the packets in order,
// each handed over whole, at least the pause apart, with the event loop running
// between them.
void TestLink::flasherPacesPackets()
{
    QFETCH(int, size);

    TestPty pty;
    QSerialPort port(pty.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    DrainingBoard board(pty);
    const QByteArray image = TestSupport::patternImage(size, 8);
    SerialWriter writer(&port, 5000);
    FirmwareFlasher flasher(&writer, image);
    QSignalSpy finished(&flasher, &FirmwareFlasher::finished);
    QSignalSpy failed(&flasher, &FirmwareFlasher::failed);

    QList<qsizetype> progress;
    QList<qint64> progressNs;
    QList<qsizetype> pendingAtProgress;
    int loopTurnsBetween = 0;
    int lastProgressTurns = 0;
    QElapsedTimer clock;
    clock.start();
    connect(&flasher, &FirmwareFlasher::progress, this, [&](qsizetype sent, qsizetype total) {
        QCOMPARE(total, qsizetype(size));
        progress.append(sent);
        progressNs.append(clock.nsecsElapsed());
        pendingAtProgress.append(port.bytesToWrite());
        lastProgressTurns = loopTurnsBetween;
    });
    QTimer loopTurn;
    connect(&loopTurn, &QTimer::timeout, this, [&] { ++loopTurnsBetween; });
    loopTurn.start(0);

    flasher.start();
    QVERIFY(flasher.isRunning());
    QVERIFY(TestSupport::processEventsUntil([&] { return !flasher.isRunning(); }, 30000));
    loopTurn.stop();
    const qsizetype packets = (size + 31) / 32;
    QCOMPARE(finished.count(), 1);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(flasher.bytesSent(), qsizetype(size));
    QCOMPARE(progress.size(), packets + 1);
    QCOMPARE(progress.first(), 0);
    QCOMPARE(progress.last(), qsizetype(size));
    QCOMPARE(pendingAtProgress.count(0), pendingAtProgress.size());
    qint64 shortestGapNs = std::numeric_limits<qint64>::max();
    for (qsizetype i = 2; i < progressNs.size(); ++i)
        shortestGapNs = std::min(shortestGapNs, progressNs.at(i) - progressNs.at(i - 1));
    if (packets > 1)
        QVERIFY2(shortestGapNs >= FirmwareFlasher::pauseNs, qPrintable(QString::number(shortestGapNs)));
    QVERIFY2(lastProgressTurns >= packets - 1, qPrintable(QString::number(lastProgressTurns)));

    QVERIFY(TestSupport::processEventsUntil([&] { return board.received() >= packets * 40; }));
    QCOMPARE(board.stop(), packets * 40);
}

void TestLink::flasherEndsEarly_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("stopped") << "stop";
    QTest::newRow("port closed") << "close";
    QTest::newRow("packet timed out, board not reading") << "timeout";
}

void TestLink::flasherEndsEarly()
{
    QFETCH(QString, how);

    TestPty pty;
    QSerialPort port(pty.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    std::optional<DrainingBoard> board;
    if (how != QLatin1String("timeout"))
        board.emplace(pty);
    SerialWriter writer(&port, 200);
    FirmwareFlasher flasher(&writer, TestSupport::patternImage(1024 * 1024, 9));
    QSignalSpy finished(&flasher, &FirmwareFlasher::finished);
    QSignalSpy failed(&flasher, &FirmwareFlasher::failed);

    flasher.start();
    if (how == QLatin1String("timeout")) {
        QVERIFY(TestSupport::processEventsUntil([&] { return !flasher.isRunning(); }, 60000));
    } else {
        QVERIFY(TestSupport::processEventsUntil([&] { return flasher.bytesSent() >= 3200; }, 10000));
        if (how == QLatin1String("stop"))
            flasher.stop();
        else
            port.close();
    }
    QVERIFY(!flasher.isRunning());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString().isEmpty(), how != QLatin1String("timeout"));
    const qsizetype sent = flasher.bytesSent();
    QVERIFY(sent % 32 == 0 && sent < 1024 * 1024);
    // Nothing more happens once the flash has ended: a pause started now ends
    // after any the flasher had started, and a packet it still meant to send
    // would have gone by then.
    bool pauseOver = false;
    QTimer::singleShot(std::chrono::milliseconds(FirmwareFlasher::pauseNs / 1000000), Qt::PreciseTimer, this,
                       [&pauseOver] { pauseOver = true; });
    QVERIFY(TestSupport::processEventsUntil([&pauseOver] { return pauseOver; }));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(flasher.bytesSent(), sent);
    // At most the packet handed over is left, whole, to go out when the board reads.
    if (port.isOpen())
        QVERIFY2(port.bytesToWrite() <= 40, qPrintable(QString::number(port.bytesToWrite())));
}

void TestLink::writerKeepsOrderAndLoopAlive_data()
{
    QTest::addColumn<bool>("boardReads");
    QTest::newRow("board reading: three sends in a row arrive in order") << true;
    QTest::newRow("board stops reading: the loop runs on until the send fails") << false;
}

// The writer never waits in a blocking call: a timer keeps firing while a send
// that cannot leave sits out its time, and sends given in a row keep their order.
void TestLink::writerKeepsOrderAndLoopAlive()
{
    QFETCH(bool, boardReads);

    TestPty pty;
    QSerialPort port(pty.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    constexpr int timeoutMs = 400;
    SerialWriter writer(&port, timeoutMs);
    QSignalSpy drained(&writer, &SerialWriter::drained);
    QSignalSpy failed(&writer, &SerialWriter::failed);
    const QByteArray big = TestSupport::patternImage(256 * 1024);
    const QByteArray sends[] = { "first|", big, "|last" };

    QByteArray received;
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] {
        ++ticks;
        for (QByteArray more = boardReads ? pty.readMaster(0) : QByteArray(); !more.isEmpty(); more = pty.readMaster(0))
            received += more;
    });
    tick.start(5);
    QElapsedTimer clock;
    clock.start();
    for (const QByteArray &bytes : sends)
        writer.send(bytes);
    QVERIFY(clock.elapsed() < timeoutMs);

    QVERIFY(TestSupport::processEventsUntil([&] { return failed.count() > 0 || writer.isIdle(); }, 20000));
    const qint64 elapsed = clock.elapsed();

    if (boardReads) {
        QCOMPARE(failed.count(), 0);
        QVERIFY(TestSupport::processEventsUntil([&] { return received.size() >= big.size() + 11; }));
        QCOMPARE(received, sends[0] + big + sends[2]);
        return;
    }
    QCOMPARE(failed.count(), 1);
    QCOMPARE(drained.count(), 0);
    // Whole milliseconds on both clocks: the writer's may count one more.
    QVERIFY2(elapsed >= timeoutMs - 1, qPrintable(QString::number(elapsed)));
    QVERIFY2(ticks >= timeoutMs / 5 / 4, qPrintable(QString::number(ticks)));
    QVERIFY(!failed.first().at(0).toString().isEmpty());
    // What never reached the driver is dropped and said to be; the piece the port
    // holds is not counted, it goes out when the board reads again.
    const qint64 dropped = failed.first().at(1).toLongLong();
    QCOMPARE(writer.pendingBytes(), port.bytesToWrite());
    QVERIFY(port.bytesToWrite() <= SerialWriter::pieceSize);
    QVERIFY(dropped > 0);
    // Once the board reads again, everything not dropped arrives, and no more.
    const QByteArray late = pty.readMasterWhileRunning(big.size() + 11 - dropped, 5000);
    QCOMPARE(late.size(), big.size() + 11 - dropped);
    QCOMPARE(late, (sends[0] + big + sends[2]).left(late.size()));
    QCOMPARE(pty.readMasterWhileRunning(1, 100), QByteArray());
}

void TestLink::urgentSendGoesOutAtOnce_data()
{
    QTest::addColumn<QString>("ahead");
    QTest::newRow("idle writer, driver with room: in the driver before send returns") << QString();
    QTest::newRow("behind a queued send: keeps its place") << QStringLiteral("queued");
    QTest::newRow("driver full: waits for the board to read, no error") << QStringLiteral("full");
}

// An urgent send skips the event loop's turn only when nothing is ahead of it and
// the driver can take it: otherwise it keeps its place, and a full driver is not
// taken for a lost device.
void TestLink::urgentSendGoesOutAtOnce()
{
    QFETCH(QString, ahead);
    TestPty pty;
    QSerialPort port(pty.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    SerialWriter writer(&port, 10000);
    QSignalSpy failed(&writer, &SerialWriter::failed);
    const QByteArray gpuOff = QByteArray::fromHex("A5A500004620AEAE");
    QByteArray before = ahead == QLatin1String("queued") ? TestSupport::patternImage(256 * 1024) : QByteArray();
    writer.send(before);
    if (ahead == QLatin1String("full"))
        before = QByteArray(pty.fillSlaveDriver('f'), 'f');
    QVERIFY(ahead.isEmpty() || !before.isEmpty());
    writer.send(gpuOff, SerialWriter::Urgency::Urgent);

    // Read with the event loop standing still: only a write made within send got there.
    if (ahead.isEmpty())
        QCOMPARE(pty.readMasterExactly(gpuOff.size(), 2000), gpuOff);
    else
        QVERIFY(pty.readMasterWhileRunning(before.size() + gpuOff.size(), 10000) == before + gpuOff);
    QTRY_VERIFY(writer.isIdle());
    QCOMPARE(failed.count(), 0);
    QCOMPARE(port.error(), QSerialPort::NoError);
}

void TestLink::drainTimeout_data()
{
    QTest::addColumn<qint64>("pendingBytes");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("expectedMs");

    QTest::newRow("nothing pending") << qint64(0) << 921600 << LineSettings::drainMarginMs;
    QTest::newRow("one byte rounds up to a millisecond") << qint64(1) << 921600 << LineSettings::drainMarginMs + 1;
    QTest::newRow("a second of line time") << qint64(92160) << 921600 << LineSettings::drainMarginMs + 1000;
    QTest::newRow("slower line, longer wait") << qint64(960) << 9600 << LineSettings::drainMarginMs + 1000;
    QTest::newRow("unknown rate") << qint64(4096) << -1 << LineSettings::drainMarginMs;
}

void TestLink::drainTimeout()
{
    QFETCH(qint64, pendingBytes);
    QFETCH(int, baudRate);
    QFETCH(int, expectedMs);
    LineSettings settings;
    settings.baudRate = baudRate;
    QCOMPARE(settings.drainTimeoutMs(pendingBytes), expectedMs);
}

// The status bar shows what the port is set to.
void TestLink::lineSettingsText()
{
    QCOMPARE(LineSettings().text(), QStringLiteral("921600 8N1"));
}

void TestLink::extraPortsListedOnce()
{
    PortRegistry ports;
    ports.addExtraPort({ "/dev/pts/77", "Simulated board", std::nullopt, std::nullopt });
    ports.addExtraPort({ "/dev/pts/78", "Other", std::nullopt, std::nullopt });
    ports.addExtraPort({ "/dev/pts/77", "Simulated board again", std::nullopt, std::nullopt });

    QStringList listed;
    for (const PortRecord &record : ports.extraPorts())
        listed << record.portName + u' ' + record.description;
    QCOMPARE(listed, (QStringList { "/dev/pts/77 Simulated board again", "/dev/pts/78 Other" }));
    // Listed after the platform's own ports.
    QCOMPARE(ports.list().constLast().portName, QStringLiteral("/dev/pts/78"));
}

void TestLink::hangUpWatch_data()
{
    QTest::addColumn<bool>("hangUp");
    QTest::newRow("live port streaming") << false;
    QTest::newRow("peer hung up") << true;
}

// Whatever the Qt version reports for a hung-up port, the watch notices it by its
// empty wake-ups, and never takes a busy live port for a dead one.
void TestLink::hangUpWatch()
{
    QFETCH(bool, hangUp);
    TestPty pty;
    QSerialPort port(pty.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    SerialPortHangUpWatch watch;
    watch.watch(&port);
    QSignalSpy hungUp(&watch, &SerialPortHangUpWatch::hungUp);
    qint64 received = 0;
    connect(&port, &QSerialPort::readyRead, &watch, [&] { received += port.readAll().size(); });

    if (hangUp) {
        pty.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(hungUp.count(), 1, 5000);
        port.close();
    } else {
        constexpr int chunks = 3 * SerialPortHangUpWatch::hungUpAfterEmptyWakeUps;
        for (int i = 0; i < chunks; ++i) {
            QVERIFY(pty.writeMaster("0123456789"));
            QTRY_COMPARE_WITH_TIMEOUT(received, qint64(i + 1) * 10, 2000);
        }
        QCOMPARE(hungUp.count(), 0);
    }
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
