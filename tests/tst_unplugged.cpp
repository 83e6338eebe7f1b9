// The board's adapter pulled out in the middle of work: during a flash and while
// telemetry streams in.

#include "gui/SerialPortHandler.h"
#include "gui/mainwindow.h"
#include "core/portlisting.h"
#include "testsupport.h"

#include <QLineSeries>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace TestSupport;

class TestUnplugged : public QObject
{
    Q_OBJECT

private slots:
    void duringFlash();
    void duringTelemetry();

private:
    void expectClosedOnceWithoutSpinning(PtyConsole &console, QStringList lines);
    void freshPeerOpens(PtyConsole &console);
};

void TestUnplugged::expectClosedOnceWithoutSpinning(PtyConsole &console, QStringList lines)
{
    QTRY_VERIFY_WITH_TIMEOUT(!serialPortInst->isOpen(), 5000);
    const qint64 cpuUsed = idleCpuMs(500);
    lines += console.newLogLines();

    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^串口已断开: .+"))).size(), 1);
    QVERIFY2(cpuUsed < 400, qPrintable(QStringLiteral("%1 ms of CPU in 500 ms").arg(cpuUsed)));
}

void TestUnplugged::freshPeerOpens(PtyConsole &console)
{
    TestPty fresh;
    openListedPort(console.window(), fresh.slavePath(), QStringLiteral("Fresh pty"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("串口打开成功") });

    click(console.window(), "pushButton_ARM_reset");
    QCOMPARE(fresh.readMasterWhileRunning(8).toHex(), QByteArray("a4a4726573657400"));
    click(console.window(), "pushButton_portClose");
}

void TestUnplugged::duringFlash()
{
    PtyConsole console;
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("app.bin"));
    QVERIFY(writeFile(path, QByteArray(64 * 1024, '\x5A')));
    loadImage(console.window(), path);
    console.newLogLines();

    // The board takes part of the image, then its adapter is gone.
    DrainingBoard board(console.board(), 4000);
    click(console.window(), "pushButton_flash");
    // The flash runs from the event loop, which has to turn for the loss to be seen.
    QVERIFY(waitForFlashEnd(console.window(), 15000));

    const QStringList lines = console.newLogLines();
    QVERIFY(!lines.contains(QStringLiteral("串口未打开")));
    QCOMPARE(lines.count(QStringLiteral("烧录失败！")), 1);
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^已发送 \\d+/65536 字节$"))).size(), 1);
    expectClosedOnceWithoutSpinning(console, lines);
    QVERIFY(!console.newLogLines().contains(QStringLiteral("烧录成功！")));
    freshPeerOpens(console);
}

void TestUnplugged::duringTelemetry()
{
    PtyConsole console;
    const qsizetype pointsBefore = chartLineSeries[0]->count();
    // The adapter goes while frames are still on their way in.
    std::thread board([&console] {
        for (int i = 0; i < 300 && console.board().writeMaster(referenceFrame()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        console.board().closeMaster();
    });
    QTRY_VERIFY_WITH_TIMEOUT(!serialPortInst->isOpen(), 10000);
    board.join();

    QVERIFY(chartLineSeries[0]->count() > pointsBefore);
    expectClosedOnceWithoutSpinning(console, {});
    freshPeerOpens(console);
}

QTEST_MAIN(TestUnplugged)
#include "tst_unplugged.moc"
