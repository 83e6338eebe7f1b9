// A board whose serial device goes away and comes back, as a USB adapter does
// across a board reset: a link in a temporary folder stands for the device path,
// re-pointed at a fresh pty when the "device" returns.

#include "gui/SerialPortHandler.h"
#include "gui/mainwindow.h"
#include "core/portlisting.h"
#include "link/portreconnect.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace TestSupport;

namespace {

const QByteArray frame = referenceFrame();

// Long enough for several checks of a watch that should not act.
constexpr int severalChecksMs = 4 * PortReconnect::checkIntervalMs;

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void deviceBackIsReopened();
    void nothingReopenedWhenOff();
    void userOpeningAnotherPortCancels();

private:
    void pointDeviceAt(const QString &target);
    void loseDevice();
    int lineCount(const QString &pattern) const;

    QTemporaryDir m_folder;
    QString m_devicePath;
    std::unique_ptr<TestPty> m_board;
    std::unique_ptr<MainWindow> m_window;
};

void TestReconnect::init()
{
    m_devicePath = m_folder.filePath(QStringLiteral("ttyBOARD"));
    m_board = std::make_unique<TestPty>();
    pointDeviceAt(m_board->slavePath());
    testPorts().addExtraPort({ m_devicePath, QStringLiteral("Board behind a link"), std::nullopt, std::nullopt });
    m_window = std::make_unique<MainWindow>(&testPorts());
    QVERIFY(selectPort(*m_window, m_devicePath));
    click(*m_window, "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());
}

void TestReconnect::cleanup()
{
    m_window.reset();
    m_board.reset();
    QFile::remove(m_devicePath);
}

void TestReconnect::pointDeviceAt(const QString &target)
{
    QFile::remove(m_devicePath);
    QVERIFY(QFile::link(target, m_devicePath));
}

// The device path goes first, then the line hangs up, as when a USB adapter goes.
void TestReconnect::loseDevice()
{
    QFile::remove(m_devicePath);
    m_board->closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!serialPortInst->isOpen(), 5000);
}

int TestReconnect::lineCount(const QString &pattern) const
{
    return int(logParagraphs(*m_window).filter(QRegularExpression(pattern)).size());
}

void TestReconnect::deviceBackIsReopened()
{
    m_window->findChild<QAction *>(QStringLiteral("action_auto_reconnect"))->trigger();
    QVERIFY(m_board->writeMaster(frame));
    QTRY_VERIFY(framesPlotted() > 0);
    // Half a character from before the loss must not glue onto what comes after.
    QVERIFY(m_board->writeMaster(QByteArray("\xE4\xB8", 2)));
    QTest::qWait(20);
    loseDevice();
    QCOMPARE(lineCount(QStringLiteral("^串口已断开: ")), 1);

    // Back, but not a serial device: it cannot be opened, which is said once.
    QTemporaryDir notADevice;
    pointDeviceAt(notADevice.path());
    QTRY_COMPARE(lineCount(QStringLiteral("^串口重新连接失败: .+")), 1);
    QTest::qWait(severalChecksMs);
    QCOMPARE(lineCount(QStringLiteral("^串口重新连接失败: ")), 1);
    QVERIFY(!serialPortInst->isOpen());

    TestPty comeBack;
    pointDeviceAt(comeBack.slavePath());
    QTRY_VERIFY_WITH_TIMEOUT(serialPortInst->isOpen(), 5000);
    QCOMPARE(serialPortInst->portName(), m_devicePath);
    const QString reconnectedLine = QStringLiteral("串口已重新连接: ") + m_devicePath;
    QCOMPARE(logParagraphs(*m_window).count(reconnectedLine), 1);
    QCOMPARE(serialPortList.value(widget<QComboBox>(*m_window, "comboBox_port")->currentIndex()), m_devicePath);

    const qint64 before = framesPlotted();
    QVERIFY(comeBack.writeMaster(frame + "ok\n"));
    QTRY_COMPARE(framesPlotted(), before + 1);
    QTRY_VERIFY(logParagraphs(*m_window).join(u'\n').contains(reconnectedLine + QStringLiteral("ok")));

    // Reopened as the user's own port: the commands reach the board that came back.
    click(*m_window, "pushButton_ARM_reset");
    QCOMPARE(comeBack.readMasterWhileRunning(8).toHex(), QByteArray("a4a4726573657400"));
}

void TestReconnect::nothingReopenedWhenOff()
{
    loseDevice();
    TestPty comeBack;
    pointDeviceAt(comeBack.slavePath());
    QTest::qWait(severalChecksMs);
    QVERIFY(!serialPortInst->isOpen());
    QCOMPARE(lineCount(QStringLiteral("^串口已重新连接")), 0);
}

void TestReconnect::userOpeningAnotherPortCancels()
{
    m_window->findChild<QAction *>(QStringLiteral("action_auto_reconnect"))->trigger();
    loseDevice();
    TestPty other;
    openListedPort(*m_window, other.slavePath(), QStringLiteral("Other pty"));
    QVERIFY(serialPortInst->isOpen());

    TestPty comeBack;
    pointDeviceAt(comeBack.slavePath());
    QTest::qWait(severalChecksMs);
    QCOMPARE(lineCount(QStringLiteral("^串口已重新连接")), 0);
    click(*m_window, "pushButton_ARM_reset");
    QCOMPARE(other.readMasterWhileRunning(8).toHex(), QByteArray("a4a4726573657400"));
    QVERIFY(comeBack.readMaster(0).isEmpty());
}

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
