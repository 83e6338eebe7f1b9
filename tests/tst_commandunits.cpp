#include "core/boardcommand.h"
#include "core/commandframes.h"
#include "core/firmwareimage.h"
#include "core/flashpackets.h"
#include "core/hexinput.h"
#include "core/registerfield.h"
#include "coretestsupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>

using FrameSetter = std::function<QByteArray(const QByteArray &before)>;

Q_DECLARE_METATYPE(RegisterField::Status)
Q_DECLARE_METATYPE(FrameSetter)

class TestCommandUnits : public QObject
{
    Q_OBJECT

private slots:
    // Reads the process-wide frames before anything could touch them.
    void initialFrames_data();
    void initialFrames();
    void frameLayout();

    void frameSetters_data();
    void frameSetters();

    void registerField_data();
    void registerField();
    void commandSequences_data();
    void commandSequences();
    void boardCommand_data();
    void boardCommand();
    void parseHexInput_data();
    void parseHexInput();
    void encodeTextInput_data();
    void encodeTextInput();

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

using TestSupport::CommandSequence;
using TestSupport::CommandStep;
using TestSupport::UserAction;
using TestSupport::expectedPacket;
using TestSupport::hex;
using TestSupport::patternImage;
using TestSupport::processWideFrames;
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

// A frame setter on a frame's bytes.
template <typename Frame, typename Set>
FrameSetter setterOn(Set set)
{
    return [set](const QByteArray &before) {
        auto frame = frameFrom<Frame>(before);
        set(frame);
        return CommandFrames::frameBytes(frame);
    };
}

// The window's handlers on frames of the test's own, as they are at start-up: each
// control gives its command, reading the spin boxes, fields and boxes that the
// steps before set.
class WindowModel
{
public:
    std::optional<BoardCommand> apply(const UserAction &action)
    {
        const QString control = QLatin1String(action.widget);
        const bool changed = m_controls.value(control).toInt() != action.value;
        m_controls[control] = action.kind == UserAction::Type ? QVariant(action.text) : QVariant(action.value);
        if (action.kind == UserAction::Tick && changed && control == QLatin1String("checkBox_GPU_power_draw"))
            return BoardCommand::plotting(m_gpu, bool(action.value));
        if (action.kind == UserAction::Slide && action.gesture != TestSupport::SliderGesture::Release)
            return BoardCommand::fanSpeed(m_gpu, action.value);
        if (action.kind != UserAction::Press)
            return {};
        const auto read = [this](const char *name) { return m_controls.value(QLatin1String(name)); };
        const QHash<QString, std::function<BoardCommand()>> handlers {
            { "pushButton_ARM_reset", [&] { return BoardCommand::reset(m_reset); } },
            { "pushButton_erase_APP", [&] { return BoardCommand::erase(m_app, read("spinBox_erase_APP").toInt()); } },
            { "pushButton_jump_to_APP", [&] { return BoardCommand::jump(m_app, read("spinBox_jump_to_APP").toInt()); } },
            { "pushButton_GPU_power_on", [&] { return BoardCommand::gpuPower(m_gpu, true); } },
            { "pushButton_GPU_power_off", [&] { return BoardCommand::gpuPower(m_gpu, false); } },
            { "pushButton_AD_write_reg", [&] { return BoardCommand::registerWrite(m_ad, CommandFrames::adHeader,
                  read("lineEdit_AD_addr").toString(), read("lineEdit_AD_data").toString()); } },
            { "pushButton_DA_write_reg", [&] { return BoardCommand::registerWrite(m_da, CommandFrames::daHeader,
                  read("lineEdit_DA_addr").toString(), read("lineEdit_DA_data").toString()); } },
            { "pushButton_AD_init", [&] { return BoardCommand::registerInit(m_ad, CommandFrames::adHeader); } },
            { "pushButton_DA_init", [&] { return BoardCommand::registerInit(m_da, CommandFrames::daHeader); } },
            { "pushButton_uart_send", [&] {
                  const QString text = read("textEdit_uart_send").toString();
                  return read("checkBox_send_in_HEX").toBool() ? BoardCommand::hex(text) : BoardCommand::text(text); } },
        };
        const auto handler = handlers.constFind(control);
        return handler == handlers.cend() ? std::nullopt : std::optional<BoardCommand>((*handler)());
    }

    // A window of its own for the next sequence, over the frames as they are.
    void newWindow() { m_controls.clear(); }

    QByteArray frames() const
    {
        return CommandFrames::frameBytes(m_reset) + CommandFrames::frameBytes(m_app) + CommandFrames::frameBytes(m_gpu)
            + CommandFrames::frameBytes(m_ad) + CommandFrames::frameBytes(m_da);
    }

private:
    RESET_order_struct m_reset = ARM_Reset;
    APP_order_struct m_app = app_order;
    GPU_POWER_order_struct m_gpu = GPU_POWER_order;
    AD_DA_order_struct m_ad = AD_order;
    AD_DA_order_struct m_da = DA_order;
    QHash<QString, QVariant> m_controls;
};

// The lines the window shows for a command: a refusal, unless it drops the input
// without a word.
QStringList shownLines(const BoardCommand &command)
{
    if (!command.isRefused())
        return command.lines;
    return command.silentInWindow ? QStringList() : QStringList { command.refusal };
}

void checkStep(WindowModel &window, const CommandStep &step)
{
    if (step.actions.isEmpty())
        return;
    const QByteArray framesBefore = window.frames();
    std::optional<BoardCommand> command;
    for (const UserAction &action : step.actions) {
        const std::optional<BoardCommand> given = window.apply(action);
        if (given) {
            QVERIFY2(!command, "one command a step");
            command = given;
        }
    }
    const bool sends = command && !command->isRefused();
    QCOMPARE((sends ? command->bytes : QByteArray()).toHex(' '), step.bytes.toHex(' '));
    if (!sends)
        QCOMPARE(window.frames().toHex(' '), framesBefore.toHex(' '));
    // Without a command the lines are the window's alone (a mode line, the port's).
    if (!command)
        return;
    QStringList lines = step.lines;
    const qsizetype notOpenAt = lines.indexOf(TestSupport::portNotOpenLine());
    lines.removeAll(TestSupport::portNotOpenLine());
    QCOMPARE(shownLines(*command), lines);
    if (sends && !lines.isEmpty())
        QCOMPARE(command->lineKind == BoardCommand::UserAction, step.orange);
    // The closed port's line stands where the command sends.
    if (notOpenAt >= 0 && !lines.isEmpty())
        QCOMPARE(command->lineOrder == BoardCommand::LinesAfterSend, notOpenAt == 0);
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
    const QList<size_t> offsets {
        offsetof(RESET_order_struct, order), offsetof(APP_order_struct, order),
        offsetof(GPU_POWER_order_struct, GPU_order), offsetof(GPU_POWER_order_struct, GPU_ON_OFF),
        offsetof(GPU_POWER_order_struct, GPU_FAN_speed), offsetof(GPU_POWER_order_struct, GPU_deframe),
        offsetof(AD_DA_order_struct, order), offsetof(AD_DA_order_struct, addr), offsetof(AD_DA_order_struct, data),
        offsetof(file_update_struct, File_order), offsetof(file_update_struct, File_offset),
        offsetof(file_update_struct, File_data),
    };
    QCOMPARE(offsets, QList<size_t>({ 2, 2, 2, 4, 5, 6, 2, 4, 6, 2, 4, 8 }));
}

// The setters on frames no sequence of the window's leaves.
void TestCommandUnits::frameSetters_data()
{
    QTest::addColumn<FrameSetter>("set");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("expected");

    const auto gpu = [](auto set) { return setterOn<GPU_POWER_order_struct>(set); };
    const auto registers = [](auto set) { return setterOn<AD_DA_order_struct>(set); };
    QTest::newRow("power on after a fan command") << gpu([](auto &f) { CommandFrames::setGpuPower(f, true); })
                                                  << hex("A5 A5 03 00 46 37 AE AE") << hex("A5 A5 00 00 4E 80 AE AE");
    QTest::newRow("power off after plotting") << gpu([](auto &f) { CommandFrames::setGpuPower(f, false); })
                                              << hex("A5 A5 01 00 4E 80 AE AE") << hex("A5 A5 00 00 46 20 AE AE");
    QTest::newRow("second order byte untouched") << gpu([](auto &f) { CommandFrames::setGpuPower(f, true); })
                                                 << hex("A5 A5 02 5A 46 20 AE AE") << hex("A5 A5 00 5A 4E 80 AE AE");
    QTest::newRow("plotting off carries the fan speed") << gpu([](auto &f) { CommandFrames::setPlotting(f, false); })
                                                        << hex("A5 A5 03 00 46 07 AE AE") << hex("A5 A5 02 00 46 07 AE AE");
    QTest::newRow("fan 99 after plotting") << gpu([](auto &f) { CommandFrames::setFanSpeed(f, 99); })
                                           << hex("A5 A5 02 00 4E 80 AE AE") << hex("A5 A5 03 00 4E 63 AE AE");
    QTest::newRow("fan keeps the low byte of 0x123") << gpu([](auto &f) { CommandFrames::setFanSpeed(f, 0x123); })
                                                     << hex("A5 A5 00 00 4E 80 AE AE") << hex("A5 A5 03 00 4E 23 AE AE");
    QTest::newRow("AD write of zeros")
        << registers([](auto &f) { CommandFrames::setRegisterWrite(f, CommandFrames::adHeader, 0, 0); })
        << hex("55 55 55 55 55 55 55 55") << hex("96 53 01 00 00 00 00 00");
    QTest::newRow("DA write of FFFF FFFF")
        << registers([](auto &f) { CommandFrames::setRegisterWrite(f, CommandFrames::daHeader, 0xFFFF, 0xFFFF); })
        << hex("55 55 55 55 55 55 55 55") << hex("91 22 01 00 FF FF FF FF");

    // Erase and jump share a frame: whatever the other left, every byte is rewritten,
    // the spin box's value as its low byte.
    struct AppCommand { bool erase; int value; QByteArray expected; };
    const AppCommand appCommands[] = {
        { true, 5, hex("A9 A9 9A 05") },    { true, 0, hex("A9 A9 9A 00") },     { true, 99, hex("A9 A9 9A 63") },
        { true, 256, hex("A9 A9 9A 00") },  { true, 0x1FF, hex("A9 A9 9A FF") }, { false, 99, hex("A8 A8 9B 63") },
        { false, 0, hex("A8 A8 9B 00") },   { false, 5, hex("A8 A8 9B 05") },    { false, 0x180, hex("A8 A8 9B 80") },
    };
    const QByteArray befores[] = { hex("00 00 00 00"), hex("A9 A9 9A 11"), hex("A8 A8 9B 22"), hex("FF FF FF FF") };
    for (const QByteArray &before : befores) {
        for (const AppCommand &command : appCommands) {
            const FrameSetter set = setterOn<APP_order_struct>([command](auto &frame) {
                if (command.erase)
                    CommandFrames::setErase(frame, command.value);
                else
                    CommandFrames::setJump(frame, command.value);
            });
            QTest::addRow("%s %d after %s", command.erase ? "erase" : "jump", command.value,
                          before.toHex(' ').constData()) << set << before << command.expected;
        }
    }
}

void TestCommandUnits::frameSetters()
{
    QFETCH(FrameSetter, set);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, expected);
    QCOMPARE(set(before).toHex(' '), expected.toHex(' '));
}

// Beside the fields the window's register writes give.
void TestCommandUnits::registerField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<RegisterField::Status>("status");
    QTest::addColumn<int>("value");

    QTest::newRow("0X prefix") << "0X1" << RegisterField::Valid << 0x1;
    QTest::newRow("leading zeros beyond four digits") << "000012AB" << RegisterField::Valid << 0x12AB;
    QTest::newRow("blank between every digit") << "1 2 3 4" << RegisterField::Valid << 0x1234;
    QTest::newRow("blank inside the prefix") << "0 x12" << RegisterField::Valid << 0x12;
    QTest::newRow("trailing line feed trimmed") << "C\n" << RegisterField::Valid << 0xC;

    QTest::newRow("FFFFFFFF") << "FFFFFFFF" << RegisterField::Invalid << 0;
    QTest::newRow("0x twice") << "0x0x12" << RegisterField::Invalid << 0;
    QTest::newRow("0x in the middle") << "00x1" << RegisterField::Invalid << 0;
    QTest::newRow("0x between digits") << "A0x5" << RegisterField::Invalid << 0;
    QTest::newRow("0x alone with blanks") << " 0x " << RegisterField::Invalid << 0;
    QTest::newRow("1g") << "1g" << RegisterField::Invalid << 0;
    QTest::newRow("x left after removing 0x") << "x0x12" << RegisterField::Invalid << 0;
    QTest::newRow("minus sign") << "-1" << RegisterField::Invalid << 0;
    QTest::newRow("tab inside is not a blank") << "1\t2" << RegisterField::Invalid << 0;
    QTest::newRow("full-width digit") << QString::fromUtf8("\xEF\xBC\x91") << RegisterField::Invalid << 0;

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

void TestCommandUnits::commandSequences_data()
{
    QTest::addColumn<int>("sequence");

    const QList<CommandSequence> &sequences = TestSupport::commandSequences();
    for (int i = 0; i < int(sequences.size()); ++i) {
        QTest::newRow(qPrintable(sequences.at(i).name)) << i;
        // The window's process-wide frames are at start-up only for the sequences run first.
        QVERIFY(!sequences.at(i).fromStartUp || i == 0 || sequences.at(i - 1).fromStartUp);
    }
}

// Each sequence from the frames at start-up, then after every sequence before it,
// as the window's process-wide frames meet it; and what bench-ctl makes of the
// arguments given beside a step.
void TestCommandUnits::commandSequences()
{
    QFETCH(int, sequence);
    const QList<CommandSequence> &sequences = TestSupport::commandSequences();
    const CommandSequence &tested = sequences.at(sequence);
    if (tested.needsUtf8 && !TestSupport::localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");

    WindowModel afterStartUp;
    WindowModel afterTheOthers;
    for (const CommandSequence &before : sequences.mid(0, sequence)) {
        for (const CommandStep &step : before.steps) {
            for (const UserAction &action : step.actions)
                afterTheOthers.apply(action);
        }
        afterTheOthers.newWindow();
    }
    for (WindowModel *window : { &afterStartUp, &afterTheOthers }) {
        for (qsizetype i = 0; i < tested.steps.size(); ++i) {
            checkStep(*window, tested.steps.at(i));
            if (QTest::currentTestFailed()) {
                qWarning("step %d, %s", int(i + 1), window == &afterStartUp ? "from start-up" : "after the others");
                return;
            }
        }
    }

    const QByteArray framesBefore = processWideFrames();
    for (const CommandStep &step : tested.steps) {
        if (step.ctlArguments.isEmpty())
            continue;
        const BoardCommand named = BoardCommand::parse(step.ctlArguments.first(), step.ctlArguments.mid(1));
        QCOMPARE(named.bytes.toHex(' '), step.bytes.toHex(' '));
        QCOMPARE(named.isRefused() ? QStringList { named.refusal } : named.lines, step.lines);
    }
    // Naming a command sends nothing and leaves the process-wide frames as they were.
    QCOMPARE(processWideFrames(), framesBefore);
}

// What bench-ctl refuses that the window's controls cannot give.
void TestCommandUnits::boardCommand_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("erase past the spin box") << "erase" << QStringList { "100" } << "错误: erase 的值 '100' 须为 0 到 99 的整数";
    QTest::newRow("fan, not a whole number") << "fan" << QStringList { "1.5" } << "错误: fan 的值 '1.5' 须为 0 到 99 的整数";
    QTest::newRow("plot, neither on nor off") << "plot" << QStringList { "ON" } << "错误: plot 的值 'ON' 须为 on 或 off";
    QTest::newRow("da-write, blank data") << "da-write" << QStringList { "1", " " }
                                          << "错误: 寄存器地址和数据须为0-FFFF的16进制数";
    QTest::newRow("hex, blank") << "hex" << QStringList { " " } << "错误: textEdit内容为空";
    QTest::newRow("missing argument") << "fan" << QStringList {} << "错误: fan 需要 1 个参数, 给出了 0 个";
    QTest::newRow("unknown") << "jump" << QStringList { "1" } << "错误: 未知命令 'jump'";
}

void TestCommandUnits::boardCommand()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(QString, refusal);

    const QByteArray framesBefore = processWideFrames();
    const BoardCommand command = BoardCommand::parse(name, arguments);
    QVERIFY(command.isRefused());
    QCOMPARE(command.bytes, QByteArray());
    QCOMPARE(command.refusal, refusal);
    QCOMPARE(processWideFrames(), framesBefore);
}

void TestCommandUnits::parseHexInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QByteArray>("bytes");

    const int ready = HexInput::Ready;
    const int blank = HexInput::Blank;
    const int invalid = HexInput::Invalid;

    QTest::newRow("mixed case") << "aB" << ready << "aB" << hex("AB");
    QTest::newRow("carriage return and line feed inside") << "12\r\n34" << ready << "1234" << hex("1234");
    QTest::newRow("vertical tab and form feed inside") << "1\v2\f34" << ready << "1234" << hex("1234");
    QTest::newRow("odd digits with a line feed") << "1\n23" << ready << "0123" << hex("0123");
    QTest::newRow("many bytes") << "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF" << ready
                                << "00112233445566778899AABBCCDDEEFF" << hex("00112233445566778899AABBCCDDEEFF");
    QTest::newRow("comma refused") << "12,34" << invalid << QString() << QByteArray();
    QTest::newRow("ideographic space refused") << QStringLiteral("12\u300034") << invalid << QString() << QByteArray();
    QTest::newRow("no-break space refused") << QStringLiteral("12\u00a034") << invalid << QString() << QByteArray();
    QTest::newRow("the editor's initial text refused") << QStringLiteral("命令发送") << invalid << QString()
                                                       << QByteArray();
    QTest::newRow("lone surrogate refused") << QString(QChar(0xDF80)) << invalid << QString() << QByteArray();
    QTest::newRow("digits around a lone surrogate refused")
        << (QStringLiteral("12") + QChar(0xD800) + QStringLiteral(" 34")) << invalid << QString() << QByteArray();
    QTest::newRow("white space only") << " \t\n\r " << blank << QString() << QByteArray();
}

void TestCommandUnits::parseHexInput()
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

void TestCommandUnits::encodeTextInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("charCount");
    QTest::addColumn<QString>("hexEcho");

    QTest::newRow("white space kept as typed") << " a\tb " << QByteArray(" a\tb ") << 5 << "20 61 09 62 20";
    QTest::newRow("hex digits sent as characters") << "ff" << QByteArray("ff") << 2 << "66 66";
    QTest::newRow("empty") << "" << QByteArray() << 0 << "";
    // Counted and echoed in the local 8-bit encoding, here UTF-8 where the test can know the bytes.
    if (TestSupport::localEncodingIsUtf8()) {
        QTest::newRow("the editor's initial text") << QStringLiteral("命令发送")
                                                   << QByteArray("\xE5\x91\xBD\xE4\xBB\xA4\xE5\x8F\x91\xE9\x80\x81") << 4
                                                   << "E5 91 BD E4 BB A4 E5 8F 91 E9 80 81";
    }
}

void TestCommandUnits::encodeTextInput()
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

void TestCommandUnits::packetCount_data()
{
    QTest::addColumn<qsizetype>("imageSize");
    QTest::addColumn<qsizetype>("packets");

    // 32 bytes make one packet and no empty one after it; a negative size makes none.
    const QList<QPair<qsizetype, qsizetype>> counts { { 0, 0 },   { 1, 1 },   { 10, 1 },  { 31, 1 },
                                                      { 32, 1 },  { 33, 2 },  { 64, 2 },  { 65, 3 },
                                                      { 320, 10 }, { 256 * 1024, 8192 }, { -5, 0 } };
    for (const auto &[size, packets] : counts)
        QTest::addRow("%lld bytes", qlonglong(size)) << size << packets;
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

    // The last packet of an image counts only the bytes it carries.
    const QList<std::array<qsizetype, 3>> covered { { 4096, 0, 0 }, { 4096, 32, 1024 }, { 4096, 128, 4096 },
                                                    { 33, 1, 32 },   { 33, 2, 33 },      { 10, 1, 10 },
                                                    { 0, 0, 0 } };
    for (const auto &[size, packets, bytes] : covered)
        QTest::addRow("%lld packets of %lld bytes", qlonglong(packets), qlonglong(size)) << size << packets << bytes;
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
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    const QString link = dir.filePath(QStringLiteral("link.bin"));
    QVERIFY(writeFile(path, content));
    QVERIFY(!throughSymlink || QFile::link(path, link));

    const FirmwareImage image = FirmwareImage::read(throughSymlink ? link : path);
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
