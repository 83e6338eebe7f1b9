#include "coretestsupport.h"

#include "core/commandframes.h"
#include "core/telemetrycsv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

namespace TestSupport {

QByteArray hex(const char *spacedHex)
{
    return QByteArray::fromHex(QByteArray(spacedHex).replace(' ', ""));
}

QByteArray wire(const char *spacedHex)
{
    return hex(spacedHex).toHex(' ');
}

QByteArray telemetryFrame(uchar b5, uchar b6, uchar b7, uchar b8, uchar b9)
{
    QByteArray bytes = hex("FF FF 00 00 00");
    for (const uchar b : { b5, b6, b7, b8, b9 })
        bytes.append(char(b));
    return bytes;
}

QByteArray referenceFrame()
{
    return hex("FF FF 00 00 00 64 0A 50 F0 7F");
}

Telemetry::Sample referenceReadings()
{
    return { 100, 10, 21.6, -7.2, 127 };
}

QByteArray numberedFrame(qint64 number)
{
    return telemetryFrame(uchar(number % 128), uchar(number * 3 % 128), uchar(number % 100),
                          uchar(number * 7 % 128), uchar(127 - number % 128));
}

Telemetry::Sample numberedReadings(qint64 number)
{
    return { double(number % 128), double(number * 3 % 128), double(number % 100) * 0.27,
             double(number * 7 % 128) * 0.45, double(127 - number % 128) };
}

Telemetry::Sample numberedSample(qint64 number)
{
    return { double(number % 128), double(number * 3 % 128), double(number % 100) - 50, double(number * 7 % 128),
             127.0 - double(number % 128) };
}

bool localEncodingIsUtf8()
{
    return QStringLiteral("\u00e9").toLocal8Bit() == QByteArray("\xC3\xA9");
}

QByteArray patternImage(qsizetype size, int seed)
{
    QByteArray image(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        image[i] = char((i * 13 + seed) & 0xFF);
    return image;
}

QByteArray imageWithoutFF(qsizetype size)
{
    QByteArray image(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        image[i] = char((i * 7 + 3) % 251);
    return image;
}

QByteArray updatePacket(quint32 offset, const QByteArray &data)
{
    QByteArray packet = hex("A6 A6 78 78");
    for (int i = 0; i < 4; ++i)
        packet.append(char(offset >> (8 * i)));
    const QByteArray chunk = data.left(32);
    packet.append(chunk);
    packet.append(32 - chunk.size(), char(0xFF));
    return packet;
}

QByteArray expectedPacket(const QByteArray &image, qsizetype index)
{
    return updatePacket(quint32(index * 32), image.mid(index * 32, 32));
}

QByteArray expectedPackets(const QByteArray &image)
{
    QByteArray packets;
    for (qsizetype index = 0; index * 32 < image.size(); ++index)
        packets.append(expectedPacket(image, index));
    return packets;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_previous = limit.rlim_cur;
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_previous);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_previousHandler);
}

namespace {

// The handler outside every capture, which prints what is not kept.
QtMessageHandler previousMessageHandler = nullptr;

void keepDebugMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        DebugMessages::messages().append(message);
        return;
    }
    previousMessageHandler(type, context, message);
}

} // namespace

DebugMessages::DebugMessages()
    : m_previousHandler(qInstallMessageHandler(keepDebugMessages))
{
    messages().clear();
    if (m_previousHandler != keepDebugMessages)
        previousMessageHandler = m_previousHandler;
}

DebugMessages::~DebugMessages()
{
    qInstallMessageHandler(m_previousHandler);
}

QStringList &DebugMessages::messages()
{
    static QStringList kept;
    return kept;
}

QString debugText(const QByteArray &bytes)
{
    QString text;
    QDebug(&text).nospace() << bytes;
    return text;
}

qint64 processCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QString shortReadingFile()
{
    QDirIterator it(QStringLiteral("/sys/kernel"), QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    for (int looked = 0; it.hasNext() && looked < 500; ++looked) {
        const QString candidate = it.next();
        if (QFileInfo(candidate).size() != 4096)
            continue;
        QFile file(candidate);
        if (!file.open(QIODevice::ReadOnly) || file.isSequential())
            continue;
        const QByteArray bytes = file.readAll();
        if (file.error() == QFileDevice::NoError && !bytes.isEmpty() && bytes.size() < 4096)
            return candidate;
    }
    return {};
}

QString refusedImagePath(const QString &kind, const QString &directory)
{
    if (kind == QLatin1String("directory"))
        return directory;
    if (kind == QLatin1String("/dev/zero"))
        return kind;
    const QString path = QDir(directory).filePath(QStringLiteral("refused-") + kind);
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
    if (kind.endsWith(QLatin1String("GiB"))) {
        // Sparse: the size is reported without the disk holding it.
        QFile file(path);
        const bool made = file.open(QIODevice::WriteOnly) && file.resize(qint64(kind.chopped(3).toInt()) << 30);
        return made ? path : QString();
    }
    return path;
}

bool processEventsUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The tick bounds each blocking wait, so the deadline is looked at in time.
    QTimer tick;
    tick.start(1);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QList<UserAction> writeRegister(bool ad, const QString &address, const QString &data)
{
    return { type(ad ? "lineEdit_AD_addr" : "lineEdit_DA_addr", address),
             type(ad ? "lineEdit_AD_data" : "lineEdit_DA_data", data),
             press(ad ? "pushButton_AD_write_reg" : "pushButton_DA_write_reg") };
}

QList<UserAction> send(bool hexMode, const QString &text)
{
    return { tick("checkBox_send_in_HEX", hexMode), type("textEdit_uart_send", text), press("pushButton_uart_send") };
}

QByteArray processWideFrames()
{
    return CommandFrames::frameBytes(ARM_Reset) + CommandFrames::frameBytes(app_order)
        + CommandFrames::frameBytes(GPU_POWER_order) + CommandFrames::frameBytes(AD_order)
        + CommandFrames::frameBytes(DA_order);
}

const QString &portNotOpenLine()
{
    static const QString line = QStringLiteral("串口未打开");
    return line;
}

namespace {

constexpr bool orange = true;
const char *const plotting = "checkBox_GPU_power_draw";
const char *const gpuOn = "pushButton_GPU_power_on";
const char *const gpuOff = "pushButton_GPU_power_off";
const char *const adInit = "pushButton_AD_init";
const char *const daInit = "pushButton_DA_init";
using Gesture = SliderGesture;

QList<UserAction> erase(int value)
{
    return { setSpinBox("spinBox_erase_APP", value), press("pushButton_erase_APP") };
}

QList<UserAction> jump(int value)
{
    return { setSpinBox("spinBox_jump_to_APP", value), press("pushButton_jump_to_APP") };
}

void addBoardPanelSequences(QList<CommandSequence> &all)
{
    const auto add = [&all](const QString &name, const QList<CommandStep> &steps) -> CommandSequence & {
        all.append({ name, CommandSequence::BoardPanel, steps });
        return all.last();
    };
    const QString notOpen = portNotOpenLine();
    const QByteArray railOn = hex("A5 A5 00 00 4E 80 AE AE");
    const CommandStep powerOn { { press(gpuOn) }, {}, railOn, { "GPU上电" }, orange, "GPU rail on, fan 0x80" };
    const CommandStep reset { { press("pushButton_ARM_reset") }, {}, hex("A4 A4 72 65 73 65 74 00"), { "ARM复位指令发送" },
                              orange, "ARM reset" };

    add("plotting right after start-up", {
        { { tick(plotting, true) }, { "plot", "on" }, hex("A5 A5 01 00 4E 80 AE AE"), { "曲线绘制" }, orange, "GPU plotting on" },
        { { tick(plotting, false) }, { "plot", "off" }, hex("A5 A5 02 00 4E 80 AE AE"), { "关闭绘制" }, orange, "GPU plotting off" },
    }).fromStartUp = true;
    add("register initialise right after start-up", {
        { { press(adInit) }, { "ad-init" }, hex("96 53 00 00 00 00 00 00"), {}, false, "AD initialise" },
        { { press(daInit) }, { "da-init" }, hex("91 22 00 00 00 00 00 00"), {}, false, "DA initialise" },
    }).fromStartUp = true;
    add("ARM reset, every time", { reset, reset, reset }).steps.first().ctlArguments = QStringList { "reset" };
    add("power off, plotting, power on", {
        { { press(gpuOff) }, { "gpu", "off" }, hex("A5 A5 00 00 46 20 AE AE"), { "GPU断电" }, orange, "GPU rail off, fan 0x20" },
        { { tick(plotting, true) }, {}, hex("A5 A5 01 00 46 20 AE AE"), { "曲线绘制" }, orange, "GPU plotting on" },
        { { tick(plotting, false) }, {}, hex("A5 A5 02 00 46 20 AE AE"), { "关闭绘制" }, orange, "GPU plotting off" },
        { { press(gpuOn) }, { "gpu", "on" }, railOn, { "GPU上电" }, orange, "GPU rail on, fan 0x80" },
        { { tick(plotting, true) }, {}, hex("A5 A5 01 00 4E 80 AE AE"), { "曲线绘制" }, orange },
    });
    add("fan after power off, then power on", {
        { { setSlider(0) } },
        { { press(gpuOff) }, {}, hex("A5 A5 00 00 46 20 AE AE"), { "GPU断电" }, orange, "GPU rail off, fan 0x20" },
        { { slide(Gesture::StepUp, 1) }, {}, hex("A5 A5 03 00 46 01 AE AE"), {}, false, "GPU fan speed 0x01 (1)" },
        { { slide(Gesture::StepUp, 2) }, {}, hex("A5 A5 03 00 46 02 AE AE"), {}, false, "GPU fan speed 0x02 (2)" },
        // The plotting frame repeats the rail state and the fan speed last set.
        { { tick(plotting, true) }, {}, hex("A5 A5 01 00 46 02 AE AE"), { "曲线绘制" }, orange },
        powerOn,
        { { slide(Gesture::StepUp, 3) }, {}, hex("A5 A5 03 00 4E 03 AE AE") },
    });
    add("fan by the arrow keys", {
        powerOn,
        { { setSlider(0) } },
        { { slide(Gesture::KeyUp, 1) }, {}, hex("A5 A5 03 00 4E 01 AE AE") },
        { { slide(Gesture::KeyUp, 2) }, {}, hex("A5 A5 03 00 4E 02 AE AE") },
        { { slide(Gesture::KeyDown, 1) }, {}, hex("A5 A5 03 00 4E 01 AE AE") },
    });
    add("fan dragged", {
        powerOn,
        { { setSlider(40) } },
        { { slide(Gesture::DragTo, 41) }, {}, hex("A5 A5 03 00 4E 29 AE AE") },
        { { slide(Gesture::DragTo, 42) }, {}, hex("A5 A5 03 00 4E 2A AE AE") },
        { { slide(Gesture::Release, 42) } },
    });
    add("register initialise carries the last write", {
        { writeRegister(false, "0102", "0304"), {}, hex("91 22 01 00 02 01 04 03") },
        { writeRegister(true, "12AB", "CDEF"), {}, hex("96 53 01 00 AB 12 EF CD"), {}, false, "AD write reg 0x12AB = 0xCDEF" },
        // The fields are read by the write only: the initialise sends what the write left.
        { { type("lineEdit_AD_addr", "7777"), type("lineEdit_DA_addr", "7777") } },
        { { press(adInit) }, {}, hex("96 53 00 00 AB 12 EF CD"), {}, false, "AD initialise" },
        { { press(daInit) }, {}, hex("91 22 00 00 02 01 04 03"), {}, false, "DA initialise" },
        { { press(adInit) }, {}, hex("96 53 00 00 AB 12 EF CD") },
        { { press(daInit) }, {}, hex("91 22 00 00 02 01 04 03") },
    });
    add("DA write with blanks, then DA initialise", {
        { writeRegister(false, " 00 01 ", "2"), {}, hex("91 22 01 00 01 00 02 00"), {}, false, "DA write reg 0x0001 = 0x0002" },
        { { press(daInit) }, {}, hex("91 22 00 00 01 00 02 00"), {}, false, "DA initialise" },
    });
    add("every command with the port closed", {
        { { closePort() }, {}, {}, { "关闭串口" } },
        // The reset sends before its line, the GPU commands after theirs.
        { reset.actions, {}, reset.bytes, { notOpen, "ARM复位指令发送" }, orange },
        { { press(gpuOn) }, {}, railOn, { "GPU上电", notOpen }, orange },
        { { press(gpuOff) }, {}, hex("A5 A5 00 00 46 20 AE AE"), { "GPU断电", notOpen }, orange },
        { { tick(plotting, true) }, {}, hex("A5 A5 01 00 46 20 AE AE"), { "曲线绘制", notOpen }, orange },
        { erase(0), {}, hex("A9 A9 9A 00"), { notOpen } },
        { jump(0), {}, hex("A8 A8 9B 00"), { notOpen } },
        { { setSlider(0) } },
        { { slide(Gesture::StepUp, 1) }, {}, hex("A5 A5 03 00 46 01 AE AE"), { notOpen } },
        { writeRegister(true, "1", "1"), {}, hex("96 53 01 00 01 00 01 00"), { notOpen } },
        { writeRegister(false, "1", "1"), {}, hex("91 22 01 00 01 00 01 00"), { notOpen } },
        { { press(adInit) }, {}, hex("96 53 00 00 01 00 01 00"), { notOpen } },
        { { press(daInit) }, {}, hex("91 22 00 00 01 00 01 00"), { notOpen } },
    });
    add("commands while the port is closed still set their frames", {
        { { closePort() }, {}, {}, { "关闭串口" } },
        { { press(gpuOff) }, {}, hex("A5 A5 00 00 46 20 AE AE"), { "GPU断电", notOpen }, orange },
        { writeRegister(true, "0A0B", "0C0D"), {}, hex("96 53 01 00 0B 0A 0D 0C"), { notOpen } },
        { { openPort() }, {}, {}, { "串口打开成功" } },
        { { tick(plotting, true) }, {}, hex("A5 A5 01 00 46 20 AE AE"), { "曲线绘制" }, orange },
        { { press(adInit) }, {}, hex("96 53 00 00 0B 0A 0D 0C") },
    });

    // The other command first, so that every byte of the shared frame must change.
    struct AppCommand { bool erase; int value; QStringList ctl; QString board; };
    for (const AppCommand &row : { AppCommand { true, 5, { "erase", "5" }, "erase app, parameter 5" },
                                   AppCommand { true, 0, {}, {} }, AppCommand { true, 99, { "erase", "99" }, {} },
                                   AppCommand { false, 99, { "start", "99" }, "jump to app, parameter 99" },
                                   AppCommand { false, 0, { "start", "0" }, {} }, AppCommand { false, 5, {}, {} } }) {
        const QByteArray header = row.erase ? hex("A9 A9 9A") : hex("A8 A8 9B");
        add(QStringLiteral("%1 at %2").arg(row.erase ? "erase" : "jump").arg(row.value), {
            { row.erase ? jump(42) : erase(42), {}, row.erase ? hex("A8 A8 9B 2A") : hex("A9 A9 9A 2A") },
            { row.erase ? erase(row.value) : jump(row.value), row.ctl, header + char(row.value), {}, false, row.board },
        });
    }

    // Setting the slider tells the board nothing; the action sends the position it leaves.
    struct FanAction { const char *name; int start; Gesture gesture; int position; };
    for (const FanAction &row : { FanAction { "step up from 0", 0, Gesture::StepUp, 1 },
                                  FanAction { "step up from 40", 40, Gesture::StepUp, 41 },
                                  FanAction { "step down from 40", 40, Gesture::StepDown, 39 },
                                  FanAction { "step down at 0", 0, Gesture::StepDown, 0 },
                                  FanAction { "step up at 99", 99, Gesture::StepUp, 99 },
                                  FanAction { "page up from 0", 0, Gesture::PageUp, 10 },
                                  FanAction { "page up from 30", 30, Gesture::PageUp, 40 },
                                  FanAction { "page down from 5", 5, Gesture::PageDown, 0 },
                                  FanAction { "to maximum", 0, Gesture::ToMaximum, 99 },
                                  FanAction { "to minimum", 50, Gesture::ToMinimum, 0 } }) {
        add(QStringLiteral("fan ") + row.name, {
            powerOn,
            { { setSlider(row.start) } },
            { { slide(row.gesture, row.position) }, {}, hex("A5 A5 03 00 4E") + char(row.position) + hex("AE AE") },
        });
    }

    // Each converter's write after one of 1111 and 2222, then its initialise; a write
    // that is refused or dropped leaves the frame as the write before left it.
    struct RegisterWrite { const char *name; QString address; QString value; QByteArray fields; bool refused; };
    const RegisterWrite writes[] = {
        { "12AB CDEF", "12AB", "CDEF", hex("AB 12 EF CD"), false },
        { "address with blanks around and between", " 12 AB ", "CDEF", hex("AB 12 EF CD"), false },
        { "0x prefixes", "0x12ab", "0XCDEF", hex("AB 12 EF CD"), false },
        { "ffff and 0", "ffff", "0", hex("FF FF 00 00"), false },
        { "tab trimmed, blank inside", "\t1", "1 2", hex("01 00 12 00"), false },
        { "address 12ABC exceeds FFFF", "12ABC", "CDEF", {}, true },
        { "address 10000 exceeds FFFF", "10000", "1", {}, true },
        { "value 12ABC exceeds FFFF", "1", "12ABC", {}, true },
        { "address g1 is not hexadecimal", "g1", "1", {}, true },
        { "value 0x alone", "1", "0x", {}, true },
        { "address of blanks only", "   ", "CDEF", {}, false },
        { "empty value", "12AB", "", {}, false },
        { "empty address beside a bad value", "", "g1", {}, false },
    };
    const QString refusal = QStringLiteral("错误: 寄存器地址和数据须为0-FFFF的16进制数");
    for (const bool ad : { true, false }) {
        const QByteArray header = ad ? hex("96 53") : hex("91 22");
        for (const RegisterWrite &row : writes) {
            const QByteArray sent = row.fields.isEmpty() ? QByteArray() : header + hex("01 00") + row.fields;
            add(QStringLiteral("%1 write: %2").arg(ad ? "AD" : "DA", row.name), {
                { writeRegister(ad, "1111", "2222"), {}, header + hex("01 00 11 11 22 22") },
                { writeRegister(ad, row.address, row.value), {}, sent, row.refused ? QStringList { refusal } : QStringList() },
                { { press(ad ? adInit : daInit) }, {}, header + hex("00 00") + (sent.isEmpty() ? hex("11 11 22 22") : row.fields) },
            });
        }
    }
    // bench-ctl's spelling of the same command.
    const auto stepOf = [&all](const char *name, int step) -> CommandStep & {
        const auto named = [name](const CommandSequence &sequence) { return sequence.name == QLatin1String(name); };
        return std::find_if(all.begin(), all.end(), named)->steps[step];
    };
    stepOf("fan page up from 30", 2).ctlArguments = QStringList { "fan", "40" };
    stepOf("AD write: 12AB CDEF", 1).ctlArguments = QStringList { "ad-write", "12AB", "0xCDEF" };
    stepOf("AD write: 12AB CDEF", 1).board = QStringLiteral("AD write reg 0x12AB = 0xCDEF");
    stepOf("AD write: 0x prefixes", 1).ctlArguments = QStringList { "ad-write", "0x12 AB", "cdef" };
    stepOf("DA write: address 12ABC exceeds FFFF", 1).ctlArguments = QStringList { "da-write", "12ABC", "1" };

    QList<CommandStep> idle;
    for (const char *control : { "pushButton_AD_read_reg", "pushButton_DA_read_reg", "pushButton_21", "pushButton_22",
                                 "pushButton_23", "pushButton_24", "pushButton_25", "checkBox_2" })
        idle << CommandStep { { press(control) } } << CommandStep { { press(control) } };
    add("controls without a command", idle);
}

void addManualConsoleSequences(QList<CommandSequence> &all)
{
    const auto add = [&all](const QString &name, const QList<CommandStep> &steps) -> CommandSequence & {
        all.append({ name, CommandSequence::ManualConsole, steps });
        return all.last();
    };
    const auto echo = [](const char *digits) { return QStringList { QStringLiteral("16进制: ") + digits }; };
    const QString hexError = QStringLiteral("错误: 只能输入16进制字符(0-9, A-F)和空格");
    const QString emptyEditor = QStringLiteral("错误: textEdit内容为空");
    const bool hexMode = true;
    const bool textMode = false;

    add("text AB", { { send(textMode, "AB"), {}, "AB", { "输入字符: 2, 字节数: 2", "16进制: 41 42" } } });
    add("text: a line feed and no carriage return",
        { { send(textMode, "AB\n"), {}, "AB\n", { "输入字符: 3, 字节数: 3", "16进制: 41 42 0A" } } });
    add("text: the line end box adds nothing", {
        { { tick("checkBox_2", true) } },
        { send(textMode, "AB\n"), {}, "AB\n", { "输入字符: 3, 字节数: 3", "16进制: 41 42 0A" } },
        { { tick("checkBox_2", false) } },
    });
    add("text: one blank", { { send(textMode, " "), {}, " ", { "输入字符: 1, 字节数: 1", "16进制: 20" } } });
    add("text: hex digits go as characters", { { send(textMode, "0A"), {}, "0A", { "输入字符: 2, 字节数: 2", "16进制: 30 41" } } });
    add("text with a blank inside",
        { { send(textMode, "a b"), { "text", "a b" }, "a b", { "输入字符: 3, 字节数: 3", "16进制: 61 20 62" } } });
    add("text: a two-byte character",
        { { send(textMode, QStringLiteral("\u00e9")), {}, "\xC3\xA9", { "输入字符: 1, 字节数: 2", "16进制: C3 A9" } } })
        .needsUtf8 = true;
    add("text: empty editor", { { send(textMode, ""), { "text", "" }, {}, { emptyEditor } } });
    add("hex: a single digit", { { send(hexMode, "A"), {}, hex("0A"), echo("0A") } });
    add("hex: blanks do not part bytes", { { send(hexMode, "1 2 3"), {}, hex("01 23"), echo("0123") } });
    add("hex: F 1 is one byte", { { send(hexMode, "F 1"), {}, hex("F1"), echo("F1") } });
    add("hex: the echo keeps the case typed", { { send(hexMode, "ab cd"), {}, hex("AB CD"), echo("abcd") } });
    add("hex: white space around", { { send(hexMode, " 12 34\n"), {}, hex("12 34"), echo("1234") } });
    add("hex: line feed between bytes", { { send(hexMode, "12\n34"), {}, hex("12 34"), echo("1234") } });
    add("hex: tab between bytes", { { send(hexMode, "12\t34"), {}, hex("12 34"), echo("1234") } });
    add("hex: odd digits", { { send(hexMode, "A BC"), { "hex", "A", "BC" }, hex("0A BC"), echo("0ABC") } });
    add("hex: odd digits in lower case",
        { { send(hexMode, "aa bb c"), { "hex", "aa bb", "c" }, hex("0A AB BC"), echo("0aabbc") } });
    add("hex: 0x12 refused", { { send(hexMode, "0x12"), { "hex", "0x12" }, {}, { hexError } } });
    add("hex: G1 refused", { { send(hexMode, "G1"), {}, {}, { hexError } } });
    add("hex: one blank", { { send(hexMode, " ") } });
    add("hex: white space only", { { send(hexMode, " \n\t ") } });
    add("hex: empty editor", { { send(hexMode, ""), {}, {}, { emptyEditor } } });
    // A change of mode neither checks nor converts the editor's text.
    add("mode lines", {
        { { type("textEdit_uart_send", "G1") } },
        { { tick("checkBox_send_in_HEX", true) }, {}, {}, { "HEX模式" }, orange },
        { { tick("checkBox_send_in_HEX", false) }, {}, {}, { "文本模式" }, orange },
    });
    add("sends with the port closed", {
        { { closePort() }, {}, {}, { "关闭串口" } },
        { send(textMode, "AB"), {}, "AB", { "输入字符: 2, 字节数: 2", "16进制: 41 42", portNotOpenLine() } },
        { send(hexMode, "12"), {}, hex("12"), { "16进制: 12", portNotOpenLine() } },
    });
}

} // namespace

const QList<CommandSequence> &commandSequences()
{
    static const QList<CommandSequence> sequences = [] {
        QList<CommandSequence> all;
        addBoardPanelSequences(all);
        addManualConsoleSequences(all);
        all.append({ "given by name only", CommandSequence::BenchCtlOnly, {
            { {}, { "da-write", " 12 AB ", "7" }, hex("91 22 01 00 AB 12 07 00") },
            { {}, { "text", "-AT+RST\r\n" }, "-AT+RST\r\n", { "输入字符: 9, 字节数: 9", "16进制: 2D 41 54 2B 52 53 54 0D 0A" } },
        } });
        return all;
    }();
    return sequences;
}


QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 recordedRows(const QString &path, qint64 firstSample, qint64 firstFrame)
{
    static const QRegularExpression timestamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$"));
    const auto readings = [](qint64 frame) {
        QByteArray text;
        const Telemetry::Sample sample = *Telemetry::decodeFrame(numberedFrame(frame));
        for (const double value : sample)
            text += ',' + TelemetryCsv::number(value);
        return text;
    };
    QList<QByteArray> rows = readFile(path).split('\n');
    if (rows.size() < 2 || rows.takeFirst() + '\n' != TelemetryCsv::header() || !rows.takeLast().isEmpty()) {
        qWarning() << path << "holds no header, or no line break at its end";
        return -1;
    }
    // The readings repeat every 3200 frames.
    for (qint64 frame = 0; firstFrame < 0 && frame < 3200 && !rows.isEmpty(); ++frame)
        firstFrame = rows.first().endsWith(readings(frame)) ? frame : -1;
    double lastElapsed = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QList<QByteArray> fields = rows.at(i).split(',');
        const QByteArray expected = QByteArray::number(firstSample + i) + readings(firstFrame + i);
        if (fields.size() != 8 || fields.mid(2).join(',') != expected || fields.at(1).toDouble() < lastElapsed
            || !timestamp.match(QString::fromLatin1(fields.at(0))).hasMatch()) {
            qWarning() << "row" << i << rows.at(i) << "expected to end" << expected;
            return -1;
        }
        lastElapsed = fields.at(1).toDouble();
    }
    return rows.size();
}

} // namespace TestSupport
