#include "core/boardcommand.h"
#include "core/commandframes.h"
#include "core/firmwareimage.h"
#include "core/flashpackets.h"
#include "core/registerfield.h"
#include "coretestsupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstddef>
#include <cstring>

Q_DECLARE_METATYPE(RegisterField::Status)

class TestCommandUnits : public QObject
{
    Q_OBJECT

private slots:
    // Reads the process-wide frames before anything could touch them.
    void initialFrames_data();
    void initialFrames();
    void frameLayout();

    void eraseAndJump_data();
    void eraseAndJump();
    void gpuPower_data();
    void gpuPower();
    void plotting_data();
    void plotting();
    void fanSpeed_data();
    void fanSpeed();
    void registerInit_data();
    void registerInit();
    void registerWrite_data();
    void registerWrite();

    void registerField_data();
    void registerField();
    void boardCommand_data();
    void boardCommand();

    void packetCount_data();
    void packetCount();
    void fillPacket_data();
    void fillPacket();
    void bytesCovered_data();
    void bytesCovered();

    void readImage_data();
    void readImage();
    void refuseImage_data();
    void refuseImage();
    void refuseShortRead();
};

using TestSupport::expectedPacket;
using TestSupport::hex;
using TestSupport::patternImage;
using TestSupport::writeFile;

namespace {

template <typename Frame>
Frame frameFrom(const QByteArray &bytes)
{
    Frame frame;
    Q_ASSERT(bytes.size() == int(sizeof frame));
    std::memcpy(&frame, bytes.constData(), sizeof frame);
    return frame;
}


} // namespace

void TestCommandUnits::initialFrames_data()
{
    QTest::addColumn<QByteArray>("actual");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ARM_Reset") << CommandFrames::frameBytes(ARM_Reset) << hex("A4 A4 72 65 73 65 74 00");
    QTest::newRow("app_order") << CommandFrames::frameBytes(app_order) << hex("00 00 00 00");
    QTest::newRow("GPU_POWER_order") << CommandFrames::frameBytes(GPU_POWER_order) << hex("A5 A5 00 00 4E 80 AE AE");
    QTest::newRow("AD_order") << CommandFrames::frameBytes(AD_order) << hex("00 00 00 00 00 00 00 00");
    QTest::newRow("DA_order") << CommandFrames::frameBytes(DA_order) << hex("00 00 00 00 00 00 00 00");
    QTest::newRow("file_update") << CommandFrames::frameBytes(file_update)
                                 << hex("A6 A6") + QByteArray(38, '\0');
    QTest::newRow("file_data") << file_data << QByteArray();
}

void TestCommandUnits::initialFrames()
{
    QFETCH(QByteArray, actual);
    QFETCH(QByteArray, expected);
    QCOMPARE(actual.toHex(' '), expected.toHex(' '));
}

void TestCommandUnits::frameLayout()
{
    QCOMPARE(offsetof(RESET_order_struct, order), size_t(2));
    QCOMPARE(offsetof(APP_order_struct, order), size_t(2));
    QCOMPARE(offsetof(GPU_POWER_order_struct, GPU_order), size_t(2));
    QCOMPARE(offsetof(GPU_POWER_order_struct, GPU_ON_OFF), size_t(4));
    QCOMPARE(offsetof(GPU_POWER_order_struct, GPU_FAN_speed), size_t(5));
    QCOMPARE(offsetof(GPU_POWER_order_struct, GPU_deframe), size_t(6));
    QCOMPARE(offsetof(AD_DA_order_struct, order), size_t(2));
    QCOMPARE(offsetof(AD_DA_order_struct, addr), size_t(4));
    QCOMPARE(offsetof(AD_DA_order_struct, data), size_t(6));
    QCOMPARE(offsetof(file_update_struct, File_order), size_t(2));
    QCOMPARE(offsetof(file_update_struct, File_offset), size_t(4));
    QCOMPARE(offsetof(file_update_struct, File_data), size_t(8));
}

void TestCommandUnits::eraseAndJump_data()
{
    QTest::addColumn<bool>("erase");
    QTest::addColumn<int>("spinBoxValue");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("erase 5") << true << 5 << hex("A9 A9 9A 05");
    QTest::newRow("erase 0") << true << 0 << hex("A9 A9 9A 00");
    QTest::newRow("erase 99") << true << 99 << hex("A9 A9 9A 63");
    QTest::newRow("erase keeps the low byte of 256") << true << 256 << hex("A9 A9 9A 00");
    QTest::newRow("erase keeps the low byte of 0x1FF") << true << 0x1FF << hex("A9 A9 9A FF");
    QTest::newRow("jump 99") << false << 99 << hex("A8 A8 9B 63");
    QTest::newRow("jump 0") << false << 0 << hex("A8 A8 9B 00");
    QTest::newRow("jump 5") << false << 5 << hex("A8 A8 9B 05");
    QTest::newRow("jump keeps the low byte of 0x180") << false << 0x180 << hex("A8 A8 9B 80");
}

void TestCommandUnits::eraseAndJump()
{
    QFETCH(bool, erase);
    QFETCH(int, spinBoxValue);
    QFETCH(QByteArray, expected);

    // Whatever the other command left, every byte is rewritten.
    for (const QByteArray &before : { hex("00 00 00 00"), hex("A9 A9 9A 11"), hex("A8 A8 9B 22"), hex("FF FF FF FF") }) {
        auto frame = frameFrom<APP_order_struct>(before);
        if (erase)
            CommandFrames::setErase(frame, spinBoxValue);
        else
            CommandFrames::setJump(frame, spinBoxValue);
        QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), expected.toHex(' '));
    }
}

void TestCommandUnits::gpuPower_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("on from start-up") << hex("A5 A5 00 00 4E 80 AE AE") << true << hex("A5 A5 00 00 4E 80 AE AE");
    QTest::newRow("off from start-up") << hex("A5 A5 00 00 4E 80 AE AE") << false << hex("A5 A5 00 00 46 20 AE AE");
    QTest::newRow("on after a fan command") << hex("A5 A5 03 00 46 37 AE AE") << true << hex("A5 A5 00 00 4E 80 AE AE");
    QTest::newRow("off after plotting") << hex("A5 A5 01 00 4E 80 AE AE") << false << hex("A5 A5 00 00 46 20 AE AE");
    QTest::newRow("second order byte untouched") << hex("A5 A5 02 5A 46 20 AE AE") << true << hex("A5 A5 00 5A 4E 80 AE AE");
}

void TestCommandUnits::gpuPower()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, on);
    QFETCH(QByteArray, expected);

    auto frame = frameFrom<GPU_POWER_order_struct>(before);
    CommandFrames::setGpuPower(frame, on);
    QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), expected.toHex(' '));
}

void TestCommandUnits::plotting_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ticked at start-up") << hex("A5 A5 00 00 4E 80 AE AE") << true << hex("A5 A5 01 00 4E 80 AE AE");
    QTest::newRow("cleared at start-up") << hex("A5 A5 01 00 4E 80 AE AE") << false << hex("A5 A5 02 00 4E 80 AE AE");
    QTest::newRow("ticked after power off") << hex("A5 A5 00 00 46 20 AE AE") << true << hex("A5 A5 01 00 46 20 AE AE");
    QTest::newRow("carries the fan speed") << hex("A5 A5 03 00 46 07 AE AE") << false << hex("A5 A5 02 00 46 07 AE AE");
}

void TestCommandUnits::plotting()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, on);
    QFETCH(QByteArray, expected);

    auto frame = frameFrom<GPU_POWER_order_struct>(before);
    CommandFrames::setPlotting(frame, on);
    QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), expected.toHex(' '));
}

void TestCommandUnits::fanSpeed_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("sliderPosition");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("0 with rail on") << hex("A5 A5 00 00 4E 80 AE AE") << 0 << hex("A5 A5 03 00 4E 00 AE AE");
    QTest::newRow("1 with rail off") << hex("A5 A5 00 00 46 20 AE AE") << 1 << hex("A5 A5 03 00 46 01 AE AE");
    QTest::newRow("99 after plotting") << hex("A5 A5 02 00 4E 80 AE AE") << 99 << hex("A5 A5 03 00 4E 63 AE AE");
    QTest::newRow("low byte of 0x123") << hex("A5 A5 00 00 4E 80 AE AE") << 0x123 << hex("A5 A5 03 00 4E 23 AE AE");
}

void TestCommandUnits::fanSpeed()
{
    QFETCH(QByteArray, before);
    QFETCH(int, sliderPosition);
    QFETCH(QByteArray, expected);

    auto frame = frameFrom<GPU_POWER_order_struct>(before);
    CommandFrames::setFanSpeed(frame, sliderPosition);
    QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), expected.toHex(' '));
}

void TestCommandUnits::registerInit_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("ad");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("AD at start-up") << hex("00 00 00 00 00 00 00 00") << true << hex("96 53 00 00 00 00 00 00");
    QTest::newRow("DA at start-up") << hex("00 00 00 00 00 00 00 00") << false << hex("91 22 00 00 00 00 00 00");
    QTest::newRow("AD after a write") << hex("96 53 01 00 AB 12 EF CD") << true << hex("96 53 00 00 AB 12 EF CD");
    QTest::newRow("DA after a write") << hex("91 22 01 00 02 01 04 03") << false << hex("91 22 00 00 02 01 04 03");
}

void TestCommandUnits::registerInit()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, ad);
    QFETCH(QByteArray, expected);

    auto frame = frameFrom<AD_DA_order_struct>(before);
    CommandFrames::setRegisterInit(frame, ad ? CommandFrames::adHeader : CommandFrames::daHeader);
    QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), expected.toHex(' '));
}

void TestCommandUnits::registerWrite_data()
{
    QTest::addColumn<bool>("ad");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("AD 12AB CDEF") << true << 0x12AB << 0xCDEF << hex("96 53 01 00 AB 12 EF CD");
    QTest::newRow("DA 0102 0304") << false << 0x0102 << 0x0304 << hex("91 22 01 00 02 01 04 03");
    QTest::newRow("AD zeros") << true << 0 << 0 << hex("96 53 01 00 00 00 00 00");
    QTest::newRow("DA FFFF FFFF") << false << 0xFFFF << 0xFFFF << hex("91 22 01 00 FF FF FF FF");
}

void TestCommandUnits::registerWrite()
{
    QFETCH(bool, ad);
    QFETCH(int, address);
    QFETCH(int, value);
    QFETCH(QByteArray, expected);

    auto frame = frameFrom<AD_DA_order_struct>(hex("55 55 55 55 55 55 55 55"));
    CommandFrames::setRegisterWrite(frame, ad ? CommandFrames::adHeader : CommandFrames::daHeader, quint16(address),
                                   quint16(value));
    QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), expected.toHex(' '));
}

void TestCommandUnits::registerField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<RegisterField::Status>("status");
    QTest::addColumn<int>("value");

    QTest::newRow("12AB") << "12AB" << RegisterField::Valid << 0x12AB;
    QTest::newRow("blanks inside and around") << " 12 AB " << RegisterField::Valid << 0x12AB;
    QTest::newRow("0x prefix, lower case digits") << "0x12ab" << RegisterField::Valid << 0x12AB;
    QTest::newRow("0X prefix") << "0X1" << RegisterField::Valid << 0x1;
    QTest::newRow("ffff") << "ffff" << RegisterField::Valid << 0xFFFF;
    QTest::newRow("0") << "0" << RegisterField::Valid << 0;
    QTest::newRow("leading zeros beyond four digits") << "000012AB" << RegisterField::Valid << 0x12AB;
    QTest::newRow("blank between every digit") << "1 2 3 4" << RegisterField::Valid << 0x1234;
    QTest::newRow("blank inside the prefix") << "0 x12" << RegisterField::Valid << 0x12;
    QTest::newRow("leading tab trimmed") << "\t1" << RegisterField::Valid << 0x1;
    QTest::newRow("trailing line feed trimmed") << "C\n" << RegisterField::Valid << 0xC;

    QTest::newRow("10000") << "10000" << RegisterField::Invalid << 0;
    QTest::newRow("12ABC") << "12ABC" << RegisterField::Invalid << 0;
    QTest::newRow("FFFFFFFF") << "FFFFFFFF" << RegisterField::Invalid << 0;
    QTest::newRow("0x twice") << "0x0x12" << RegisterField::Invalid << 0;
    QTest::newRow("0x in the middle") << "00x1" << RegisterField::Invalid << 0;
    QTest::newRow("0x between digits") << "A0x5" << RegisterField::Invalid << 0;
    QTest::newRow("0x alone") << "0x" << RegisterField::Invalid << 0;
    QTest::newRow("0x alone with blanks") << " 0x " << RegisterField::Invalid << 0;
    QTest::newRow("g1") << "g1" << RegisterField::Invalid << 0;
    QTest::newRow("1g") << "1g" << RegisterField::Invalid << 0;
    QTest::newRow("x left after removing 0x") << "x0x12" << RegisterField::Invalid << 0;
    QTest::newRow("minus sign") << "-1" << RegisterField::Invalid << 0;
    QTest::newRow("tab inside is not a blank") << "1\t2" << RegisterField::Invalid << 0;
    QTest::newRow("full-width digit") << QString::fromUtf8("\xEF\xBC\x91") << RegisterField::Invalid << 0;

    QTest::newRow("empty") << "" << RegisterField::Empty << 0;
    QTest::newRow("blanks only") << "   " << RegisterField::Empty << 0;
    QTest::newRow("white space only") << "\t \n" << RegisterField::Empty << 0;
}

void TestCommandUnits::registerField()
{
    QFETCH(QString, text);
    QFETCH(RegisterField::Status, status);
    QFETCH(int, value);

    const RegisterField field = RegisterField::parse(text);
    QCOMPARE(field.status, status);
    if (status == RegisterField::Valid)
        QCOMPARE(int(field.value), value);
}

void TestCommandUnits::boardCommand_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::addColumn<QString>("said");     // the window's lines, or the reason of a refusal

    QTest::newRow("reset") << "reset" << QStringList {} << hex("A4 A4 72 65 73 65 74 00") << "ARM复位指令发送";
    QTest::newRow("erase at the spin box's top") << "erase" << QStringList { "99" } << hex("A9 A9 9A 63") << "";
    QTest::newRow("start at the spin box's bottom") << "start" << QStringList { "0" } << hex("A8 A8 9B 00") << "";
    QTest::newRow("erase past the spin box") << "erase" << QStringList { "100" } << QByteArray()
                                             << "错误: erase 的值 '100' 须为 0 到 99 的整数";
    QTest::newRow("fan, not a whole number") << "fan" << QStringList { "1.5" } << QByteArray()
                                             << "错误: fan 的值 '1.5' 须为 0 到 99 的整数";
    QTest::newRow("gpu off") << "gpu" << QStringList { "off" } << hex("A5 A5 00 00 46 20 AE AE") << "GPU断电";
    QTest::newRow("plot on") << "plot" << QStringList { "on" } << hex("A5 A5 01 00 4E 80 AE AE") << "曲线绘制";
    QTest::newRow("plot, neither on nor off") << "plot" << QStringList { "ON" } << QByteArray()
                                              << "错误: plot 的值 'ON' 须为 on 或 off";
    QTest::newRow("ad-write, 0x and blanks") << "ad-write" << QStringList { "0x12 AB", "cdef" }
                                             << hex("96 53 01 00 AB 12 EF CD") << "";
    QTest::newRow("da-write, register past FFFF") << "da-write" << QStringList { "12ABC", "1" } << QByteArray()
                                                  << "错误: 寄存器地址和数据须为0-FFFF的16进制数";
    QTest::newRow("da-write, blank data") << "da-write" << QStringList { "1", " " } << QByteArray()
                                          << "错误: 寄存器地址和数据须为0-FFFF的16进制数";
    QTest::newRow("hex, odd digits over several arguments") << "hex" << QStringList { "A", "BC" } << hex("0A BC")
                                                             << "16进制: 0ABC";
    QTest::newRow("hex, blank") << "hex" << QStringList { " " } << QByteArray() << "错误: textEdit内容为空";
    QTest::newRow("text, as typed") << "text" << QStringList { "a b" } << QByteArray("a b") << "输入字符: 3, 字节数: 3|16进制: 61 20 62";
    QTest::newRow("missing argument") << "fan" << QStringList {} << QByteArray() << "错误: fan 需要 1 个参数, 给出了 0 个";
    QTest::newRow("unknown") << "jump" << QStringList { "1" } << QByteArray() << "错误: 未知命令 'jump'";
}

void TestCommandUnits::boardCommand()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, said);

    const QByteArray gpuBefore = CommandFrames::frameBytes(GPU_POWER_order);
    const QByteArray appBefore = CommandFrames::frameBytes(app_order);
    const QByteArray adBefore = CommandFrames::frameBytes(AD_order);
    const BoardCommand command = BoardCommand::parse(name, arguments);
    QCOMPARE(command.bytes.toHex(' '), bytes.toHex(' '));
    QCOMPARE(command.isRefused() ? command.refusal : command.lines.join(u'|'), said);
    QCOMPARE(command.isRefused(), bytes.isEmpty());
    // Naming a command sends nothing and leaves the process-wide frames as they were.
    QCOMPARE(CommandFrames::frameBytes(GPU_POWER_order), gpuBefore);
    QCOMPARE(CommandFrames::frameBytes(app_order), appBefore);
    QCOMPARE(CommandFrames::frameBytes(AD_order), adBefore);
}

void TestCommandUnits::packetCount_data()
{
    QTest::addColumn<qsizetype>("imageSize");
    QTest::addColumn<qsizetype>("packets");

    QTest::newRow("empty") << qsizetype(0) << qsizetype(0);
    QTest::newRow("1 byte") << qsizetype(1) << qsizetype(1);
    QTest::newRow("10 bytes") << qsizetype(10) << qsizetype(1);
    QTest::newRow("31 bytes") << qsizetype(31) << qsizetype(1);
    QTest::newRow("32 bytes, no empty packet after") << qsizetype(32) << qsizetype(1);
    QTest::newRow("33 bytes") << qsizetype(33) << qsizetype(2);
    QTest::newRow("64 bytes") << qsizetype(64) << qsizetype(2);
    QTest::newRow("65 bytes") << qsizetype(65) << qsizetype(3);
    QTest::newRow("320 bytes") << qsizetype(320) << qsizetype(10);
    QTest::newRow("256 KiB") << qsizetype(256 * 1024) << qsizetype(8192);
    QTest::newRow("negative") << qsizetype(-5) << qsizetype(0);
}

void TestCommandUnits::packetCount()
{
    QFETCH(qsizetype, imageSize);
    QFETCH(qsizetype, packets);
    QCOMPARE(FlashPackets::packetCount(imageSize), packets);
}

void TestCommandUnits::fillPacket_data()
{
    QTest::addColumn<qsizetype>("imageSize");
    QTest::addColumn<qsizetype>("index");
    QTest::addColumn<QByteArray>("offsetBytes");

    QTest::newRow("first of 64") << qsizetype(64) << qsizetype(0) << hex("00 00 00 00");
    QTest::newRow("second of 64") << qsizetype(64) << qsizetype(1) << hex("20 00 00 00");
    QTest::newRow("only one of 10, padded") << qsizetype(10) << qsizetype(0) << hex("00 00 00 00");
    QTest::newRow("short second of 33") << qsizetype(33) << qsizetype(1) << hex("20 00 00 00");
    QTest::newRow("tenth of 320") << qsizetype(320) << qsizetype(9) << hex("20 01 00 00");
    QTest::newRow("offset past 64 KiB") << qsizetype(0x10030) << qsizetype(0x801) << hex("20 00 01 00");
    QTest::newRow("one byte") << qsizetype(1) << qsizetype(0) << hex("00 00 00 00");
}

void TestCommandUnits::fillPacket()
{
    QFETCH(qsizetype, imageSize);
    QFETCH(qsizetype, index);
    QFETCH(QByteArray, offsetBytes);

    const QByteArray image = patternImage(imageSize);
    // Left-overs of an earlier packet must not reach the wire.
    auto packet = frameFrom<file_update_struct>(QByteArray(40, char(0x55)));
    FlashPackets::fillPacket(packet, image, index);

    const QByteArray bytes = CommandFrames::frameBytes(packet);
    QCOMPARE(bytes.toHex(' '), expectedPacket(image, index).toHex(' '));
    QCOMPARE(bytes.mid(4, 4).toHex(' '), offsetBytes.toHex(' '));
}

void TestCommandUnits::bytesCovered_data()
{
    QTest::addColumn<qsizetype>("imageSize");
    QTest::addColumn<qsizetype>("packets");
    QTest::addColumn<qsizetype>("bytes");

    QTest::newRow("none sent") << qsizetype(4096) << qsizetype(0) << qsizetype(0);
    QTest::newRow("32 of 128 packets") << qsizetype(4096) << qsizetype(32) << qsizetype(1024);
    QTest::newRow("all of 4096") << qsizetype(4096) << qsizetype(128) << qsizetype(4096);
    QTest::newRow("first of 33") << qsizetype(33) << qsizetype(1) << qsizetype(32);
    QTest::newRow("both of 33") << qsizetype(33) << qsizetype(2) << qsizetype(33);
    QTest::newRow("the one short packet of 10") << qsizetype(10) << qsizetype(1) << qsizetype(10);
    QTest::newRow("empty image") << qsizetype(0) << qsizetype(0) << qsizetype(0);
}

void TestCommandUnits::bytesCovered()
{
    QFETCH(qsizetype, imageSize);
    QFETCH(qsizetype, packets);
    QFETCH(qsizetype, bytes);
    QCOMPARE(FlashPackets::bytesCovered(imageSize, packets), bytes);
}

void TestCommandUnits::readImage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("throughSymlink");

    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("10 bytes") << patternImage(10) << false;
    QTest::newRow("every byte value") << patternImage(256 * 3) << false;
    QTest::newRow("text with line ends kept raw") << QByteArray("a\r\nb\n\x1a\0c", 8) << false;
    QTest::newRow("through a symbolic link") << patternImage(100) << true;
}

void TestCommandUnits::readImage()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, throughSymlink);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("image.bin"));
    QVERIFY(writeFile(path, content));
    if (throughSymlink) {
        const QString link = dir.filePath(QStringLiteral("link.bin"));
        QVERIFY(QFile::link(path, link));
        path = link;
    }

    const FirmwareImage image = FirmwareImage::read(path);
    QVERIFY2(image.ok, qPrintable(image.error));
    QCOMPARE(image.data, content);
    QVERIFY(image.error.isEmpty());
}

void TestCommandUnits::refuseImage_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("missing file") << "missing";
    QTest::newRow("directory") << "directory";
    QTest::newRow("character device") << "/dev/zero";
    QTest::newRow("named pipe without a writer") << "fifo";
    QTest::newRow("exactly 4 GiB") << "4GiB";
    QTest::newRow("over 4 GiB") << "5GiB";
}

void TestCommandUnits::refuseImage()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = TestSupport::refusedImagePath(kind, dir.path());
    QVERIFY(!path.isEmpty());

    QElapsedTimer timer;
    timer.start();
    const FirmwareImage image = FirmwareImage::read(path);
    QVERIFY(!image.ok);
    QVERIFY(image.data.isEmpty());
    QVERIFY(!image.error.isEmpty());
    // Refused up front, never by reading gigabytes or an endless device.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void TestCommandUnits::refuseShortRead()
{
    // Kernel attribute files report a size of one page but hold a few bytes.
    const QString shortFile = TestSupport::shortReadingFile();
    if (shortFile.isEmpty())
        QSKIP("no readable file here reports more bytes than it holds");

    const FirmwareImage image = FirmwareImage::read(shortFile);
    QVERIFY2(!image.ok, qPrintable(shortFile));
    QVERIFY(!image.error.isEmpty());
}

QTEST_APPLESS_MAIN(TestCommandUnits)
#include "tst_commandunits.moc"
