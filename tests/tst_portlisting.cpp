#include "core/portlisting.h"
#include "core/portopenfailure.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<PortRecord>)

class TestPortListing : public QObject
{
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void entryAfterRefresh_data();
    void entryAfterRefresh();
    void openFailureReason_data();
    void openFailureReason();
};

namespace {

PortRecord port(const QString &name, const QString &description, std::optional<quint16> vendor = 0x0403,
                std::optional<quint16> product = 0x6001)
{
    return { name, description, vendor, product };
}

} // namespace

void TestPortListing::listing_data()
{
    QTest::addColumn<QList<PortRecord>>("ports");
    QTest::addColumn<QStringList>("displayTexts");
    QTest::addColumn<QStringList>("portNames");

    QTest::newRow("none") << QList<PortRecord>() << QStringList() << QStringList();
    QTest::newRow("one port, both identifiers")
        << QList<PortRecord> { port("ttyUSB0", "FT232R USB UART") }
        << QStringList { "TTYUSB0 | 0403:6001 | FT232R USB UART" } << QStringList { "ttyUSB0" };
    QTest::newRow("name column padded to the longest name")
        << QList<PortRecord> { port("com3", "USB Serial"), port("com10", "USB Serial") }
        << QStringList { "COM3  | 0403:6001 | USB Serial", "COM10 | 0403:6001 | USB Serial" }
        << QStringList { "com3", "com10" };
    QTest::newRow("absent identifiers shown as dashes")
        << QList<PortRecord> { port("ttyS0", "", std::nullopt, std::nullopt) }
        << QStringList { "TTYS0 | ----:---- | " } << QStringList { "ttyS0" };
    QTest::newRow("vendor present, product absent")
        << QList<PortRecord> { port("ttyACM0", "Board", 0x1234, std::nullopt) }
        << QStringList { "TTYACM0 | 1234:---- | Board" } << QStringList { "ttyACM0" };
    QTest::newRow("short identifiers zero-padded, upper case")
        << QList<PortRecord> { port("COM4", "Adapter", 0x403, 0xabc) }
        << QStringList { "COM4 | 0403:0ABC | Adapter" } << QStringList { "COM4" };
    QTest::newRow("Bluetooth link, Chinese description")
        << QList<PortRecord> { port("COM5", "蓝牙链接上的标准串行 (COM5)", std::nullopt, std::nullopt) }
        << QStringList() << QStringList();
    QTest::newRow("Bluetooth link, English description with port name")
        << QList<PortRecord> { port("COM6", "Standard Serial over Bluetooth link (COM6)", std::nullopt, std::nullopt) }
        << QStringList() << QStringList();
    QTest::newRow("bluetooth in lower case only")
        << QList<PortRecord> { port("rfcomm0", "my bluetooth modem", std::nullopt, std::nullopt) }
        << QStringList() << QStringList();
    QTest::newRow("vendor 0x0000 dropped")
        << QList<PortRecord> { port("COM7", "Virtual", 0x0000, 0x0001) } << QStringList() << QStringList();
    QTest::newRow("vendor 0xFFFF dropped")
        << QList<PortRecord> { port("COM8", "Virtual", 0xFFFF, 0x0001) } << QStringList() << QStringList();
    QTest::newRow("product 0x0000 alone is kept")
        << QList<PortRecord> { port("COM9", "Odd", 0x0001, 0x0000) }
        << QStringList { "COM9 | 0001:0000 | Odd" } << QStringList { "COM9" };
    QTest::newRow("ports after a dropped one keep their own names")
        << QList<PortRecord> { port("ttyA", "first"), port("ttyB", "Bluetooth"), port("ttyC", "third") }
        << QStringList { "TTYA | 0403:6001 | first", "TTYC | 0403:6001 | third" }
        << QStringList { "ttyA", "ttyC" };
    QTest::newRow("two dropped in a row")
        << QList<PortRecord> { port("a", "one"), port("b", "Bluetooth"), port("c", "x", 0xFFFF), port("d", "four") }
        << QStringList { "A | 0403:6001 | one", "D | 0403:6001 | four" } << QStringList { "a", "d" };
    QTest::newRow("width counts dropped ports too")
        << QList<PortRecord> { port("COM1", "real"), port("COM100000", "Bluetooth thing") }
        << QStringList { "COM1      | 0403:6001 | real" } << QStringList { "COM1" };
    QTest::newRow("place holders in a description stay as they are")
        << QList<PortRecord> { port("COM2", "%1 %2 odd") }
        << QStringList { "COM2 | 0403:6001 | %1 %2 odd" } << QStringList { "COM2" };
}

void TestPortListing::listing()
{
    QFETCH(QList<PortRecord>, ports);
    QFETCH(QStringList, displayTexts);
    QFETCH(QStringList, portNames);

    const PortListing listing = PortListing::format(ports);
    QCOMPARE(listing.displayTexts, displayTexts);
    QCOMPARE(listing.portNames, portNames);
    QCOMPARE(listing.reportedTexts.size(), ports.size());
}

void TestPortListing::entryAfterRefresh_data()
{
    QTest::addColumn<QStringList>("portNames");
    QTest::addColumn<QString>("selectedPort");
    QTest::addColumn<QString>("preferredPort");
    QTest::addColumn<int>("entry");

    const QStringList ports { "ttyS0", "ttyUSB0", "/dev/pts/3" };
    QTest::newRow("selected port kept") << ports << "ttyUSB0" << "/dev/pts/3" << 1;
    QTest::newRow("selected port kept where it moved")
        << QStringList { "ttyACM0", "ttyS0", "ttyUSB0" } << "ttyUSB0" << "" << 2;
    QTest::newRow("selected port gone, preferred one listed") << ports << "ttyUSB1" << "/dev/pts/3" << 2;
    QTest::newRow("nothing selected yet, preferred one listed") << ports << "" << "/dev/pts/3" << 2;
    QTest::newRow("neither listed") << ports << "ttyUSB1" << "/dev/pts/9" << 0;
    QTest::newRow("nothing selected, no preference") << ports << "" << "" << 0;
    QTest::newRow("no ports") << QStringList() << "ttyUSB0" << "/dev/pts/3" << -1;
}

void TestPortListing::entryAfterRefresh()
{
    QFETCH(QStringList, portNames);
    QFETCH(QString, selectedPort);
    QFETCH(QString, preferredPort);
    QFETCH(int, entry);
    QCOMPARE(PortListing::entryToSelect(portNames, selectedPort, preferredPort), entry);
}

void TestPortListing::openFailureReason_data()
{
    QTest::addColumn<bool>("permissionError");
    QTest::addColumn<QString>("portErrorText");
    QTest::addColumn<QString>("reason");

    const QString noRights = QStringLiteral(
        "当前用户无权打开此串口: 在 Linux 上请把用户加入 dialout 组 (sudo usermod -aG dialout $USER), 然后注销并重新登录");
    const QString busy = QStringLiteral("串口正被另一个程序占用, 请先在那个程序中关闭它");

    QTest::newRow("device refused to this user") << true << "Permission denied" << noRights;
    QTest::newRow("lock file held by another program")
        << true << "Permission error while locking the device" << busy;
    QTest::newRow("tty opened exclusively elsewhere") << true << "Device or resource busy" << busy;
    QTest::newRow("tty busy, localised system text") << true << "设备或资源忙" << busy;
    QTest::newRow("no folder for the lock file")
        << true << "Permission error while creating lock file" << "Permission error while creating lock file";
    QTest::newRow("device gone") << false << "No such file or directory" << "No such file or directory";
    QTest::newRow("not a serial device, wording of a denial")
        << false << "Permission denied" << "Permission denied";
}

void TestPortListing::openFailureReason()
{
    QFETCH(bool, permissionError);
    QFETCH(QString, portErrorText);
    QFETCH(QString, reason);
    QCOMPARE(PortOpenFailure::reason(permissionError, portErrorText), reason);
}

QTEST_APPLESS_MAIN(TestPortListing)
#include "tst_portlisting.moc"
