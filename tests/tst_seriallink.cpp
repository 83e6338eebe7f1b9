#include "gui/SerialPortHandler.h"
#include "core/portlisting.h"
#include "link/serialporthangup.h"
#include "link/boardsession.h"
#include "testsupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void portButtons_data();
    void portButtons();
    void openAnotherEntrySwitchesPort();
    void openFailureSaysWhy_data();
    void openFailureSaysWhy();
    void destructorClosesPort();
    void closeLetsWrittenBytesDrain_data();
    void closeLetsWrittenBytesDrain();
    void closeGivesUpOnBoardNotReading_data();
    void closeGivesUpOnBoardNotReading();
    void sendArrivesWholeAndPromptly_data();
    void sendArrivesWholeAndPromptly();
    void sendWhileClosed();
    void sendNothingOnOpenPort();
    void sendToPeerNotReadingKeepsWindowAlive();
    void hungUpPeerClosesPortOnce();
    void sendToHungUpPeerIsReported();
};

void TestSerialLink::portButtons_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<bool>("emptySelector");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("openAfter");

    const QStringList opened { "串口打开成功" };
    const QStringList closed { "关闭串口" };
    QTest::newRow("open") << false << false << "pushButton_portOpen" << opened << true;
    QTest::newRow("open twice") << true << false << "pushButton_portOpen" << opened << true;
    QTest::newRow("refresh leaves the port open") << true << false << "pushButton_port_refresh" << QStringList() << true;
    QTest::newRow("close an open port") << true << false << "pushButton_portClose" << closed << false;
    QTest::newRow("close a port never opened") << false << false << "pushButton_portClose" << closed << false;
    QTest::newRow("open with an empty selector") << false << true << "pushButton_portOpen" << QStringList { "无可用串口" } << false;
}

// The pty's port selected, one button pressed: an open port is the board's line,
// set up as the board's, and carries bytes.
void TestSerialLink::portButtons()
{
    QFETCH(bool, openFirst);
    QFETCH(bool, emptySelector);
    QFETCH(QString, button);
    QFETCH(QStringList, lines);
    QFETCH(bool, openAfter);

    PtyConsole console(openFirst);
    QCOMPARE(serialPortInst->isOpen(), openFirst);
    QComboBox *const selector = widget<QComboBox>(console.window(), "comboBox_port");
    if (emptySelector) {
        selector->clear();
        QTest::ignoreMessage(QtDebugMsg, "无可用串口");
    } else {
        QVERIFY(selectPort(console.window(), console.board().slavePath()));
    }
    click(console.window(), qPrintable(button));
    QCOMPARE(console.newLogLines(), lines);
    QCOMPARE(serialPortInst->isOpen(), openAfter);
    if (!openAfter)
        return;
    QCOMPARE(QStringLiteral("/dev/") + serialPortInst->portName(), console.board().slavePath());
    QCOMPARE(serialPortInst->openMode(), QIODevice::ReadWrite);
    QCOMPARE(serialPortInst->baudRate(QSerialPort::Input), 921600);
    QCOMPARE(serialPortInst->baudRate(QSerialPort::Output), 921600);
    QCOMPARE(serialPortInst->dataBits(), QSerialPort::Data8);
    QCOMPARE(serialPortInst->parity(), QSerialPort::NoParity);
    QCOMPARE(serialPortInst->stopBits(), QSerialPort::OneStop);
    QCOMPARE(serialPortInst->flowControl(), QSerialPort::NoFlowControl);
    QCOMPARE(serialPortList.size(), selector->count());
    QVERIFY(serialPortList.contains(console.board().slavePath()));
    QVERIFY(console.window().SerialPortTransmitByteArray("ping"));
    QCOMPARE(console.sentBytes(4), QByteArray("ping"));
}

void TestSerialLink::openAnotherEntrySwitchesPort()
{
    PtyConsole console;
    TestPty second;
    openListedPort(console.window(), second.slavePath(), QStringLiteral("Second pty"));

    QCOMPARE(console.newLogLines(), QStringList { "串口打开成功" });
    QCOMPARE(QStringLiteral("/dev/") + serialPortInst->portName(), second.slavePath());
    // A refresh leaves the user's choice alone, so the next "open" opens it again.
    click(console.window(), "pushButton_port_refresh");
    const int selected = widget<QComboBox>(console.window(), "comboBox_port")->currentIndex();
    QCOMPARE(serialPortList.value(selected), second.slavePath());
    QVERIFY(console.window().SerialPortTransmitByteArray("two"));
    QCOMPARE(second.readMasterWhileRunning(3), QByteArray("two"));
    QCOMPARE(console.strayBytes(), QByteArray());
}

namespace {

const QString noRightsReason = QStringLiteral(
    "当前用户无权打开此串口: 在 Linux 上请把用户加入 dialout 组 (sudo usermod -aG dialout $USER), 然后注销并重新登录");
const QString busyReason = QStringLiteral("串口正被另一个程序占用, 请先在那个程序中关闭它");

// Opens files as the unprivileged "nobody" while it lives: root may open any
// device whatever its permissions, and CI runs as root.
class UnprivilegedFileAccess
{
public:
    UnprivilegedFileAccess()
    {
        if (geteuid() != 0)
            return;
        const passwd *nobody = getpwnam("nobody");
        if (!nobody)
            return;
        m_dropped = setegid(nobody->pw_gid) == 0 && seteuid(nobody->pw_uid) == 0;
    }
    ~UnprivilegedFileAccess()
    {
        if (m_dropped && (seteuid(0) != 0 || setegid(0) != 0))
            qFatal("cannot take root's rights back");
    }
    UnprivilegedFileAccess(const UnprivilegedFileAccess &) = delete;
    UnprivilegedFileAccess &operator=(const UnprivilegedFileAccess &) = delete;

    bool permissionsApply() const { return m_dropped || geteuid() != 0; }

private:
    bool m_dropped = false;
};

} // namespace

void TestSerialLink::openFailureSaysWhy_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("debugError");

    QTest::newRow("device without rights for the user")
        << "no rights" << noRightsReason << "QSerialPort::PermissionError Permission denied";
    QTest::newRow("port held by another program")
        << "held" << busyReason << "QSerialPort::PermissionError Permission error while locking the device";
    QTest::newRow("device gone")
        << "gone" << "No such file or directory" << "QSerialPort::DeviceNotFoundError No such file or directory";
    QTest::newRow("port locked with flock by another program") << "flock" << busyReason << "flock held by another program";
}

void TestSerialLink::openFailureSaysWhy()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, reason);
    QFETCH(QString, debugError);

    PtyConsole console(false);
    QString portName = console.board().slavePath();
    QSerialPort otherProgram(portName);
    QProcess locker;
    if (obstacle == QLatin1String("held")) {
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
    } else if (obstacle == QLatin1String("flock")) {
        // Only the lock may stand in the way, also for the user the click runs as.
        QCOMPARE(chmod(qPrintable(portName), 0666), 0);
        locker.start(QStringLiteral("flock"), { QStringLiteral("--nonblock"), portName, QStringLiteral("-c"),
                                                QStringLiteral("echo locked; exec cat") });
        if (!locker.waitForStarted())
            QSKIP("flock from util-linux is not installed");
        QVERIFY(locker.waitForReadyRead(5000));
        QCOMPARE(locker.readAll(), QByteArray("locked\n"));
    } else if (obstacle == QLatin1String("no rights")) {
        QCOMPARE(chmod(qPrintable(portName), 0), 0);
    } else {
        portName = QStringLiteral("/dev/bench-console-unplugged-adapter");
        testPorts().addExtraPort({ portName, QStringLiteral("Unplugged"), std::nullopt, std::nullopt });
        click(console.window(), "pushButton_port_refresh");
    }
    QVERIFY(selectPort(console.window(), portName));

    const DebugMessages debug;
    {
        const UnprivilegedFileAccess user;
        if (obstacle == QLatin1String("no rights") && !user.permissionsApply())
            QSKIP("running as root with no user \"nobody\" to drop to: root opens any device");
        click(console.window(), "pushButton_portOpen");
    }

    QCOMPARE(console.newLogLines(), (QStringList { "串口打开失败", reason }));
    QVERIFY(!serialPortInst->isOpen());
    QCOMPARE(DebugMessages::messages(), QStringList { portName + " 串口打开失败: " + debugError });
    if (obstacle == QLatin1String("flock")) {
        // Once the other program lets go, the port opens.
        locker.closeWriteChannel();
        QVERIFY(locker.waitForFinished(5000));
        click(console.window(), "pushButton_portOpen");
        QCOMPARE(console.newLogLines(), QStringList { "串口打开成功" });
    }
}

void TestSerialLink::destructorClosesPort()
{
    {
        PtyConsole console;
        QVERIFY(serialPortInst->isOpen());
        QTest::ignoreMessage(QtDebugMsg, "关闭串口");
    }
    QVERIFY(!serialPortInst->isOpen());
}

void TestSerialLink::closeLetsWrittenBytesDrain_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("sentSize");
    QTest::addColumn<int>("unflushedSize");

    // The unread bytes stay below the 4 KiB the pty's reading side holds: past it
    // they wait in the pty itself, where Qt 6.8 flushes them when the port is opened
    // again (a real line would have sent them long before).
    QTest::newRow("close button after a text send") << "close" << 3000 << 0;
    QTest::newRow("close button with bytes still in the port's buffer") << "close" << 8 << 2000;
    QTest::newRow("reopen after a reset") << "reopen" << 8 << 0;
    QTest::newRow("reopen with bytes still in the port's buffer") << "reopen" << 0 << 2000;
    QTest::newRow("window closed after GPU on") << "window" << 8 << 0;
    QTest::newRow("window closed with bytes still in the port's buffer") << "window" << 0 << 2000;
}

// What the console took to send is the board's, whichever way the port closes;
// only what the board sent and nobody read yet is dropped.
void TestSerialLink::closeLetsWrittenBytesDrain()
{
    QFETCH(QString, how);
    QFETCH(int, sentSize);
    QFETCH(int, unflushedSize);

    PtyConsole console;
    const QByteArray expected = patternImage(sentSize + unflushedSize);
    // The board is slow to read: everything sits in the line's buffers at close.
    QVERIFY(console.window().SerialPortTransmitByteArray(expected.left(sentSize)));
    QCOMPARE(serialPortInst->write(expected.mid(sentSize)), qint64(unflushedSize));
    // Waiting for the buffer to drain may read what arrives meanwhile: the check
    // for dropped input needs a port with nothing left to write.
    const bool checkStaleInput = how == QLatin1String("reopen") && unflushedSize == 0;
    if (checkStaleInput)
        QVERIFY(console.board().writeMaster("stale"));

    if (how == QLatin1String("window")) {
        QTest::ignoreMessage(QtDebugMsg, "关闭串口");
        console.destroyWindow();
    } else {
        // The close lets the queue out from the event loop, the window answering meanwhile.
        click(console.window(), how == QLatin1String("reopen") ? "pushButton_portOpen" : "pushButton_portClose");
        QVERIFY(processEventsUntil([&] { return !console.window().session()->isClosing(); }));
        QCOMPARE(console.newLogLines().constLast(), how == QLatin1String("reopen") ? "串口打开成功" : "关闭串口");
    }
    QCOMPARE(console.sentBytes(expected.size(), 5000), expected);
    QCOMPARE(console.strayBytes(), QByteArray());
    if (checkStaleInput) {
        // The reopened port starts with what the board sends from now on: what came
        // before, shown or dropped, never glues onto it.
        QVERIFY(console.boardSends("fresh"));
        QTRY_COMPARE(logParagraphs(console.window()).constLast(), QStringLiteral("串口打开成功fresh"));
    }
}

void TestSerialLink::closeGivesUpOnBoardNotReading_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("close pressed again") << false;
    QTest::newRow("window closed") << true;
}

// A board that stopped reading, with 1 MiB still to go: "close" returns at once and
// the window answers while the close waits; after a while the log says what it
// waits for, and pressing close again, or closing the window, gives up at once.
void TestSerialLink::closeGivesUpOnBoardNotReading()
{
    QFETCH(bool, closeWindow);

    PtyConsole console;
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(5);
    QVERIFY(console.window().SerialPortTransmitByteArray(QByteArray(1024 * 1024, 'x')));
    click(console.window(), "pushButton_portClose");
    QVERIFY(console.window().session()->isClosing());
    const int ticksAtClose = ticks;

    QStringList lines;
    QVERIFY(processEventsUntil([&] {
        lines += console.newLogLines();
        return !lines.isEmpty();
    }, BoardSession::closeNoticeMs + 5000));
    QVERIFY2(ticks > ticksAtClose + 1, qPrintable(QString::number(ticks - ticksAtClose)));
    const QRegularExpressionMatch waiting = QRegularExpression(
        QStringLiteral("^关闭串口前等待 (\\d+) 字节发出 \\(再按 close 立即关闭并丢弃它们\\)$")).match(lines.join(u'|'));
    QVERIFY2(waiting.hasMatch() && waiting.captured(1).toLongLong() > 0, qPrintable(lines.join(u'|')));
    QVERIFY(serialPortInst->isOpen());

    if (closeWindow)
        QVERIFY(console.window().close());
    else
        click(console.window(), "pushButton_portClose");
    QVERIFY(!serialPortInst->isOpen());
    lines = console.newLogLines();
    QCOMPARE(lines.size(), 2);
    const QRegularExpressionMatch dropped = QRegularExpression(QStringLiteral("^未发出的 (\\d+) 字节已丢弃$")).match(lines.at(0));
    QVERIFY2(dropped.hasMatch() && dropped.captured(1).toLongLong() > 0, qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1), QStringLiteral("关闭串口"));
}

void TestSerialLink::sendArrivesWholeAndPromptly_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("one byte") << 1;
    QTest::newRow("a frame") << 8;
    QTest::newRow("4 KiB") << 4096;
    QTest::newRow("64 KiB") << 65536;
}

void TestSerialLink::sendArrivesWholeAndPromptly()
{
    QFETCH(int, size);
    PtyConsole console;
    const QByteArray data = patternImage(size);

    // The peer drains while the console sends from its event loop, as a board would.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(console.window().SerialPortTransmitByteArray(data));
    const QByteArray received = console.board().readMasterWhileRunning(size, 10000);
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(received, data);
    QCOMPARE(console.newLogLines(), QStringList());
    // A send that sat out the 30 s write timeout would show here; the bound is loose on purpose.
    QVERIFY2(elapsed < 10000, qPrintable(QString::number(elapsed)));
}

void TestSerialLink::sendWhileClosed()
{
    PtyConsole console(false);
    QVERIFY(!console.window().SerialPortTransmitByteArray("abc"));
    QCOMPARE(console.newLogLines(), QStringList { "串口未打开" });
    const uint8_t bytes[] = { 1, 2, 3 };
    QVERIFY(!console.window().SerialPortTransmit(bytes, 3));
    QCOMPARE(console.newLogLines(), QStringList { "串口未打开" });
    QCOMPARE(console.strayBytes(), QByteArray());
}

void TestSerialLink::sendNothingOnOpenPort()
{
    PtyConsole console;
    QVERIFY(console.window().SerialPortTransmitByteArray(QByteArray()));
    QCOMPARE(console.newLogLines(), QStringList());
    QCOMPARE(console.strayBytes(), QByteArray());
}

// A board busy erasing stops reading: the window keeps answering while the send
// waits out its time, then says it failed and what it dropped; the port carries
// the next send once the board reads again.
void TestSerialLink::sendToPeerNotReadingKeepsWindowAlive()
{
    PtyConsole console;
    SerialWriter *writer = console.window().session()->writer();
    QVERIFY(writer);
    constexpr int timeoutMs = 300;
    writer->setTimeoutMs(timeoutMs);
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(5);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(console.window().SerialPortTransmitByteArray(QByteArray(256 * 1024, 'x')));
    QStringList lines;
    QVERIFY(processEventsUntil([&] {
        lines += console.newLogLines();
        return lines.size() >= 2;
    }, 10000));
    // Whole milliseconds on both clocks: the writer's may count one more.
    QVERIFY2(clock.elapsed() >= timeoutMs - 1, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(ticks >= timeoutMs / 5 / 4, qPrintable(QString::number(ticks)));
    QCOMPARE(lines.at(0), QStringLiteral("发送失败: Operation timed out"));
    QVERIFY2(QRegularExpression(QStringLiteral("^未发出的 \\d+ 字节已丢弃$")).match(lines.at(1)).hasMatch(),
             qPrintable(lines.at(1)));
    QVERIFY(serialPortInst->isOpen());

    QVERIFY(console.window().SerialPortTransmitByteArray("next"));
    QVERIFY(console.board().readMasterWhileRunning(256 * 1024, 5000).endsWith("next"));
}

void TestSerialLink::hungUpPeerClosesPortOnce()
{
    PtyConsole console;
    console.board().closeMaster();

    const qint64 cpuBefore = processCpuMs();
    QTRY_VERIFY_WITH_TIMEOUT(!serialPortInst->isOpen(), 5000);
    const qint64 cpuUsed = processCpuMs() - cpuBefore + idleCpuMs(500);

    const QStringList lines = console.newLogLines();
    QCOMPARE(lines.size(), 1);
    // The port's own error text is stale by then; the user is told the device went.
    QCOMPARE(lines.first(), QStringLiteral("串口已断开: 设备已断开连接"));
    // A port left open after a hang-up spins on its error signal at full CPU.
    QVERIFY2(cpuUsed < 400, qPrintable(QString::number(cpuUsed)));

    QVERIFY(!console.window().SerialPortTransmitByteArray("late"));
    QCOMPARE(console.newLogLines(), QStringList { "串口未打开" });
}

void TestSerialLink::sendToHungUpPeerIsReported()
{
    PtyConsole console;
    console.board().closeMaster();
    // No event is processed between the hang-up and the send, which is queued.
    QVERIFY(console.window().SerialPortTransmitByteArray("lost"));

    QStringList lines;
    QVERIFY(processEventsUntil([&] {
        lines += console.newLogLines();
        return !serialPortInst->isOpen() && lines.filter(QRegularExpression("^串口已断开: 设备已断开连接$")).size() >= 1;
    }));
    // A second report would be in the events the loss left queued.
    QCoreApplication::processEvents();
    lines += console.newLogLines();
    QVERIFY(!serialPortInst->isOpen());
    QCOMPARE(lines.filter(QRegularExpression("^发送失败: .+")).size(), 1);
    QCOMPARE(lines.filter(QRegularExpression("^串口已断开: 设备已断开连接$")).size(), 1);
}

QTEST_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
