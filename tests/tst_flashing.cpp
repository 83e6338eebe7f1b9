#include "gui/SerialPortHandler.h"
#include "link/firmwareflasher.h"
#include "ptytestsupport.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

using namespace TestSupport;

// The image is process-wide and survives from one console window to the next: the
// tests that need "no image yet" come first.
class TestFlashing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void flashRefused_data();
    void flashRefused();

    void openDescribesFile();
    void namesAreShownAsText_data();
    void namesAreShownAsText();
    void flashImage_data();
    void flashImage();
    void flashTwice();
    void refusedOpenKeepsImage_data();
    void refusedOpenKeepsImage();
    void packetFailsToGoOut_data();
    void packetFailsToGoOut();
    void controlsWhileFlashing();
    void windowClosedMidFlash();
    void closeStopsFlashToPeerNotReading();
    void changedImageFileIsSaid_data();
    void changedImageFileIsSaid();

private:
    QString writeImage(const QString &name, const QByteArray &content);
    void open(PtyConsole &console, const QString &fileName);
    // Writes the image, opens it and leaves its description out of the lines to come.
    QString load(PtyConsole &console, const QString &name, const QByteArray &image);

    QTemporaryDir m_dir;
    QString m_chosenFile;
    QWidget *m_chooserParent = nullptr;
};

namespace {

const QString successLine = QStringLiteral("烧录成功！");
const QString failureLine = QStringLiteral("烧录失败！");

QList<QByteArray> splitPackets(const QByteArray &wire)
{
    QList<QByteArray> packets;
    for (qsizetype at = 0; at < wire.size(); at += 40)
        packets.append(wire.mid(at, 40).toHex(' '));
    return packets;
}

QString pathField(PtyConsole &console)
{
    return widget<QLineEdit>(console.window(), "lineEdit_file_path")->text();
}

QProgressBar *progressBar(PtyConsole &console)
{
    return widget<QProgressBar>(console.window(), "progressBar_flash");
}

// Everything the board received for one flash, and whatever followed it.
QByteArray flashAndCollect(PtyConsole &console, qsizetype expectedBytes)
{
    click(console.window(), "pushButton_flash");
    if (!waitForFlashEnd(console.window()))
        return "the flash did not end";
    return console.everythingSent(expectedBytes);
}

// The flash's last lines, red, and nothing more to come.
void expectEnd(PtyConsole &console, const QStringList &lines)
{
    QCOMPARE(console.newLogLines(), lines);
    QCOMPARE(console.colourFromEnd(1), red());
    if (lines.constLast() == successLine)
        QCOMPARE(progressBar(console)->value(), 100);
    QCoreApplication::processEvents();
    QCOMPARE(console.newLogLines(), QStringList());
}

// Every packet of the image reaches the board, and the success line says so.
void flashesWhole(PtyConsole &console, const QByteArray &image)
{
    const QByteArray packets = expectedPackets(image);
    QCOMPARE(flashAndCollect(console, packets.size()).toHex(' '), packets.toHex(' '));
    expectEnd(console, { successLine });
}

} // namespace

void TestFlashing::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestFlashing::writeImage(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    return writeFile(path, content) ? path : QString();
}

void TestFlashing::open(PtyConsole &console, const QString &fileName)
{
    m_chosenFile = fileName;
    console.window().setImageFileChooser([this](QWidget *parent) {
        m_chooserParent = parent;
        return m_chosenFile;
    });
    click(console.window(), "pushButton_open_File");
}

QString TestFlashing::load(PtyConsole &console, const QString &name, const QByteArray &image)
{
    const QString path = writeImage(name, image);
    open(console, path);
    console.newLogLines();
    return path;
}

void TestFlashing::flashRefused_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<int>("imageSize"); // of the image opened first; none when negative
    QTest::addColumn<QString>("reason");

    // Before any image is loaded: the rows after them load one.
    QTest::newRow("port open, no image") << true << -1 << QStringLiteral("错误: 未加载固件文件");
    QTest::newRow("port closed, no image") << false << -1 << QStringLiteral("串口未打开");
    QTest::newRow("empty image") << true << 0 << QStringLiteral("错误: 固件文件为空");
    QTest::newRow("port closed") << false << 320 << QStringLiteral("串口未打开");
}

void TestFlashing::flashRefused()
{
    QFETCH(bool, portOpen);
    QFETCH(int, imageSize);
    QFETCH(QString, reason);

    PtyConsole console(portOpen);
    if (imageSize >= 0) {
        open(console, writeImage(QStringLiteral("refused.bin"), patternImage(imageSize, 5)));
        QVERIFY(console.newLogLines().contains(QStringLiteral("文件大小: %1 字节").arg(imageSize)));
    }
    QCOMPARE(serialPortInst->isOpen(), portOpen);
    QCOMPARE(flashAndCollect(console, 1).toHex(' '), QByteArray());
    expectEnd(console, { reason, failureLine });
}

void TestFlashing::openDescribesFile()
{
    const QString path = writeImage(QStringLiteral("app image.bin"), patternImage(1000, 1));
    QVERIFY(!path.isEmpty());
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58)), QFileDevice::FileModificationTime));
    }

    PtyConsole console;
    // A relative name must be shown with its absolute path.
    const QString previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const QString absolutePath = QDir::currentPath() + QStringLiteral("/app image.bin");
    open(console, QStringLiteral("app image.bin"));
    QVERIFY(QDir::setCurrent(previousDirectory));

    QCOMPARE(m_chooserParent, &console.window());
    const QStringList lines = console.newLogLines();
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.first(5), (QStringList { QString(), "=== 文件信息 ===", "文件名: app image.bin", "文件路径: " + absolutePath,
                                            "文件大小: 1000 字节" }));
    // The file system may not know when a file was made.
    QVERIFY2(QRegularExpression(QStringLiteral("^创建时间: (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)?$")).match(lines.at(5)).hasMatch(),
             qPrintable(lines.at(5)));
    QCOMPARE(lines.at(6), QStringLiteral("修改时间: 2024-02-29 23:59:58"));
    QCOMPARE(pathField(console), absolutePath);
    flashesWhole(console, patternImage(1000, 1));
}

void TestFlashing::namesAreShownAsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");

    QTest::newRow("bold tag") << "fw<b>v2.bin" << true;
    QTest::newRow("link") << "<a href=x>fw.bin" << true;
    QTest::newRow("entity, two spaces") << "fw&amp;  v3.bin" << true;
    QTest::newRow("missing file with a tag") << "<i>gone.bin" << false;
}

void TestFlashing::namesAreShownAsText()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);

    PtyConsole console;
    const QString path = exists ? writeImage(name, patternImage(40, 2)) : m_dir.filePath(name);
    QVERIFY(!path.isEmpty());
    open(console, path);

    const QStringList lines = console.newLogLines();
    const QString html = widget<QTextBrowser>(console.window(), "textBrowser_logout")->toHtml();
    QVERIFY2(!html.contains(QLatin1String("<a ")), qPrintable(html));
    if (!exists) {
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("无法打开文件: ") + path);
        return;
    }
    QCOMPARE(lines.mid(2, 2), (QStringList { "文件名: " + name, "文件路径: " + path }));
    QCOMPARE(pathField(console), path);
}

void TestFlashing::flashImage_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("packets");

    QTest::newRow("10 bytes: one padded packet") << 10 << 1;
    QTest::newRow("32 bytes: one full packet") << 32 << 1;
    QTest::newRow("33 bytes: a second packet of one byte") << 33 << 2;
    QTest::newRow("64 bytes: two packets, no empty third") << 64 << 2;
    QTest::newRow("320 bytes: ten packets") << 320 << 10;
    QTest::newRow("1000 bytes") << 1000 << 32;
}

void TestFlashing::flashImage()
{
    QFETCH(int, size);
    QFETCH(int, packets);

    PtyConsole console;
    // A longer image first, so that left-overs of its packets would show.
    load(console, QStringLiteral("earlier.bin"), QByteArray(200, char(0xEE)));
    flashesWhole(console, QByteArray(200, char(0xEE)));

    const QByteArray image = patternImage(size, size);
    load(console, QStringLiteral("image-%1.bin").arg(size), image);

    QElapsedTimer timer;
    timer.start();
    const QByteArray wire = flashAndCollect(console, packets * 40);
    const qint64 flashNs = timer.nsecsElapsed();
    QCOMPARE(wire.size(), packets * 40);
    QCOMPARE(splitPackets(wire), splitPackets(expectedPackets(image)));
    QCOMPARE(wire.left(8).toHex(' '), QByteArray("a6 a6 78 78 00 00 00 00"));
    if (packets >= 10)
        QCOMPARE(wire.mid(9 * 40 + 4, 4).toHex(' '), QByteArray("20 01 00 00"));
    if (size % 32 != 0)
        QCOMPARE(wire.right(32 - size % 32), QByteArray(32 - size % 32, char(0xFF)));
    // At least the pause after each packet.
    QVERIFY2(flashNs >= qint64(packets) * 1000000, qPrintable(QString::number(flashNs)));
    expectEnd(console, { successLine });
}

void TestFlashing::flashTwice()
{
    PtyConsole console;
    const QByteArray image = patternImage(64, 7);
    load(console, QStringLiteral("twice.bin"), image);

    // A second press while the first flash runs does not reach the handler.
    click(console.window(), "pushButton_flash");
    click(console.window(), "pushButton_flash");
    QVERIFY(waitForFlashEnd(console.window()));
    QCOMPARE(console.everythingSent(2 * 40).toHex(' '), expectedPackets(image).toHex(' '));
    expectEnd(console, { successLine });
    flashesWhole(console, image);
}

void TestFlashing::refusedOpenKeepsImage_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("cancelled") << "cancelled";
    QTest::newRow("missing file") << "missing";
    QTest::newRow("directory") << "directory";
    QTest::newRow("endless device") << "/dev/zero";
    QTest::newRow("named pipe") << "fifo";
    QTest::newRow("4 GiB sparse file") << "4GiB";
    QTest::newRow("missing, named as markup") << "<b>missing";
    QTest::newRow("read comes back short") << "short";
}

void TestFlashing::refusedOpenKeepsImage()
{
    QFETCH(QString, kind);

    QString refused;
    if (kind == QLatin1String("short")) {
        refused = shortReadingFile();
        if (refused.isEmpty())
            QSKIP("no readable file here reports more bytes than it holds");
    } else if (kind != QLatin1String("cancelled")) {
        refused = refusedImagePath(kind, m_dir.path());
        QVERIFY(!refused.isEmpty());
    }

    PtyConsole console;
    const QByteArray image = patternImage(40, 9);
    const QString kept = load(console, QStringLiteral("before-refusal.bin"), image);

    open(console, refused);
    const QStringList lines = console.newLogLines();
    if (refused.isEmpty()) {
        QCOMPARE(lines, QStringList { QStringLiteral("用户取消了文件选择") });
    } else {
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("无法打开文件: ") + refused);
        QVERIFY2(lines.at(1).startsWith(QStringLiteral("错误: ")) && lines.at(1).size() > 4, qPrintable(lines.at(1)));
    }
    QCOMPARE(pathField(console), kept);
    flashesWhole(console, image);
}

void TestFlashing::packetFailsToGoOut_data()
{
    QTest::addColumn<int>("hangUpAfter");

    QTest::newRow("after the first packet") << 40;
    QTest::newRow("after about 1 KiB") << 1024;
    QTest::newRow("after about 20 KiB") << 20000;
}

void TestFlashing::packetFailsToGoOut()
{
    QFETCH(int, hangUpAfter);

    constexpr int imageSize = 64 * 1024;
    PtyConsole console;
    load(console, QStringLiteral("large.bin"), patternImage(imageSize, 11));

    // The board reads while the console flashes, then hangs up as an unplugged
    // adapter would.
    DrainingBoard board(console.board(), hangUpAfter);
    click(console.window(), "pushButton_flash");
    QVERIFY(waitForFlashEnd(console.window(), 15000));
    const qsizetype boardReceived = board.stop();
    QVERIFY(boardReceived >= hangUpAfter);
    QVERIFY(!serialPortInst->isOpen());
    const QStringList lines = console.newLogLines();
    QVERIFY2(lines.size() >= 3, qPrintable(lines.join(u'|')));
    QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^串口已断开: .+"))).size() == 1, qPrintable(lines.join(u'|')));
    // Stopped at once: a loop that went on would meet the closed port for every packet left.
    QVERIFY2(!lines.contains(QStringLiteral("串口未打开")), qPrintable(lines.join(u'|')));
    QCOMPARE(lines.at(lines.size() - 2), failureLine);
    QCOMPARE(console.colourFromEnd(2), red());

    const qsizetype sentBytes = bytesReportedSent(lines.last(), imageSize);
    QVERIFY2(sentBytes >= 0, qPrintable(lines.last()));
    QCOMPARE(sentBytes % 32, 0);
    QVERIFY(sentBytes < imageSize);
    // Every packet the board took in whole went out before the failure.
    QVERIFY2(sentBytes >= (boardReceived / 40) * 32, qPrintable(QString::number(boardReceived)));

    QCoreApplication::processEvents();
    QVERIFY(!console.newLogLines().contains(successLine));
    QCOMPARE(progressBar(console)->value(), int(sentBytes * 100 / imageSize));
}

void TestFlashing::controlsWhileFlashing()
{
    constexpr int imageSize = 64 * 1024;
    PtyConsole console;
    QCOMPARE(progressBar(console)->value(), 24);
    load(console, QStringLiteral("controls.bin"), patternImage(imageSize, 4));
    DrainingBoard board(console.board());

    const char *const lineControls[] = {
        "pushButton_port_refresh", "pushButton_portOpen", "pushButton_ARM_reset", "pushButton_erase_APP",
        "pushButton_jump_to_APP", "pushButton_GPU_power_on", "pushButton_GPU_power_off",
        "checkBox_GPU_power_draw", "verticalSlider_GPU_FAN_speed", "pushButton_AD_write_reg",
        "pushButton_AD_init", "pushButton_DA_write_reg", "pushButton_DA_init", "pushButton_uart_send",
        "pushButton_open_File", "pushButton_flash",
    };
    const auto enabledControls = [&] {
        QStringList enabled;
        for (const char *name : lineControls) {
            if (widget<QWidget>(console.window(), name)->isEnabled())
                enabled.append(QLatin1String(name));
        }
        return enabled;
    };

    click(console.window(), "pushButton_flash");
    QCOMPARE(progressBar(console)->value(), 0);
    QCOMPARE(enabledControls(), QStringList());
    QVERIFY(widget<QWidget>(console.window(), "pushButton_portClose")->isEnabled());
    QVERIFY(processEventsUntil([&] { return progressBar(console)->value() >= 5; }, 10000));
    QVERIFY(isFlashing(console.window()));
    QCOMPARE(console.newLogLines(), QStringList());

    click(console.window(), "pushButton_portClose");
    QVERIFY(!serialPortInst->isOpen());
    QCOMPARE(enabledControls().size(), qsizetype(std::size(lineControls)));
    QCoreApplication::processEvents();
    const QStringList lines = console.newLogLines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), failureLine);
    QCOMPARE(lines.at(2), QStringLiteral("关闭串口"));
    const qsizetype sentBytes = bytesReportedSent(lines.at(1), imageSize);
    QVERIFY2(sentBytes > 0 && sentBytes < imageSize, qPrintable(lines.at(1)));
    // The progress bar stays where the flash stopped, and the board took every
    // packet reported as sent, and no more.
    QCOMPARE(progressBar(console)->value(), int(sentBytes * 100 / imageSize));
    QVERIFY(processEventsUntil([&] { return board.received() >= sentBytes / 32 * 40; }));
    QCOMPARE(board.stop(), sentBytes / 32 * 40);
}

void TestFlashing::windowClosedMidFlash()
{
    PtyConsole console;
    load(console, QStringLiteral("closing.bin"), patternImage(64 * 1024, 6));
    DrainingBoard board(console.board());

    click(console.window(), "pushButton_flash");
    QVERIFY(processEventsUntil([&] { return board.received() >= 4000; }, 10000));
    QTest::ignoreMessage(QtDebugMsg, "关闭串口");
    console.destroyWindow();
    QVERIFY(!serialPortInst->isOpen());
    QCoreApplication::processEvents();
    // Whole packets only, and none once the window was gone.
    const qsizetype received = board.stop() + console.strayBytes().size();
    QCOMPARE(received % 40, 0);
    QVERIFY(received < 64 * 1024 / 32 * 40);
}

// A board busy erasing stops reading mid-flash: the window keeps answering, and
// the close button ends the flash at once, counting the packets the driver took
// whole; the packet handed over goes out whole, or the line says what was cut.
// A plain event loop drives it: QTest::qWait would pace the flash itself.
void TestFlashing::closeStopsFlashToPeerNotReading()
{
    constexpr int imageSize = 256 * 1024;
    PtyConsole console;
    load(console, QStringLiteral("stalled.bin"), patternImage(imageSize, 12));
    QTextDocument *const log = widget<QTextBrowser>(console.window(), "textBrowser_logout")->document();

    int ticks = 0;
    int stuckTicks = 0;
    qsizetype lastProgress = -1;
    QEventLoop loop;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] {
        ++ticks;
        // The line is full once no packet has gone for a while: one takes about 1 ms.
        const auto *flasher = console.window().findChild<FirmwareFlasher *>();
        const qsizetype progress = flasher ? flasher->bytesSent() : -1;
        stuckTicks = progress == lastProgress ? stuckTicks + 1 : 0;
        lastProgress = progress;
        if (stuckTicks >= 20)
            loop.quit();
    });
    tick.start(5);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    click(console.window(), "pushButton_flash");
    loop.exec();
    QVERIFY2(stuckTicks >= 20, "the flash never filled the line");
    QVERIFY(isFlashing(console.window()));
    QVERIFY(ticks >= 20);

    QElapsedTimer clock;
    qint64 failureShownMs = -1;
    connect(log, &QTextDocument::contentsChanged, this, [&] {
        if (failureShownMs < 0 && log->toPlainText().contains(failureLine))
            failureShownMs = clock.elapsed();
    });
    clock.start();
    click(console.window(), "pushButton_portClose");
    QVERIFY2(failureShownMs >= 0 && failureShownMs < 100, qPrintable(QString::number(failureShownMs)));
    QVERIFY(!isFlashing(console.window()));

    const QStringList lines = console.newLogLines();
    QVERIFY2(lines.size() >= 3, qPrintable(lines.join(u'|')));
    QCOMPARE(lines.at(0), failureLine);
    const qsizetype sentBytes = bytesReportedSent(lines.at(1), imageSize);
    QVERIFY2(sentBytes >= 0, qPrintable(lines.at(1)));
    QCOMPARE(sentBytes % 32, 0);
    const qsizetype taken = sentBytes / 32 * 40;
    QCOMPARE(lines.last(), QStringLiteral("关闭串口"));
    qsizetype cut = 0;
    if (lines.size() == 4) {
        const QRegularExpressionMatch dropped =
            QRegularExpression(QStringLiteral("^未发出的 (\\d+) 字节已丢弃$")).match(lines.at(2));
        QVERIFY2(dropped.hasMatch(), qPrintable(lines.at(2)));
        cut = dropped.captured(1).toLongLong();
        QVERIFY(cut > 0 && cut <= 40);
    }
    // The board, reading again, gets every packet counted, and of the one handed
    // over what the line does not say was dropped.
    const qsizetype received = console.sentBytes(taken + 40, 2000).size();
    QVERIFY2(received == taken || received == taken + 40 - cut,
             qPrintable(QStringLiteral("%1 %2 %3").arg(received).arg(taken).arg(cut)));
}

void TestFlashing::changedImageFileIsSaid_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("rebuilt, larger") << "size";
    QTest::newRow("rewritten, same size") << "time";
    QTest::newRow("deleted") << "gone";
    QTest::newRow("unchanged") << "none";
}

// The board gets the image loaded at "打开文件", whatever the file holds by the
// time of "烧录"; the user is told when the two differ.
void TestFlashing::changedImageFileIsSaid()
{
    QFETCH(QString, change);

    PtyConsole console;
    const QByteArray image = patternImage(64, 13);
    const QString path = load(console, QStringLiteral("changing-%1.bin").arg(change), image);
    QFile file(path);
    if (change == QLatin1String("size")) {
        QVERIFY(writeFile(path, image + image));
    } else if (change == QLatin1String("time")) {
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        file.close();
    } else if (change == QLatin1String("gone")) {
        QVERIFY(file.remove());
    }

    QCOMPARE(flashAndCollect(console, 2 * 40).toHex(' '), expectedPackets(image).toHex(' '));
    QStringList expected { successLine };
    if (change != QLatin1String("none"))
        expected.prepend(QStringLiteral("固件文件在打开后已改变或已不存在, 烧录的仍是打开时载入的内容: ") + path);
    QCOMPARE(console.newLogLines(), expected);
}

QTEST_MAIN(TestFlashing)
#include "tst_flashing.moc"
