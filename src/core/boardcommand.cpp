#include "core/boardcommand.h"

#include "core/hexinput.h"
#include "core/registerfield.h"

#include <QCoreApplication>

namespace {

// The window's spin boxes and fan slider keep the toolkit's default range.
constexpr int controlMinimum = 0;
constexpr int controlMaximum = 99;

BoardCommand sending(const QByteArray &bytes, const QStringList &lines = {},
                     BoardCommand::LineKind kind = BoardCommand::UserAction,
                     BoardCommand::LineOrder order = BoardCommand::LinesBeforeSend)
{
    return { bytes, lines, kind, order, {}, false };
}

BoardCommand refused(const QString &refusal, bool silentInWindow = false)
{
    return { {}, {}, BoardCommand::Plain, BoardCommand::LinesBeforeSend, refusal, silentInWindow };
}

QString emptyTextRefusal()
{
    return QCoreApplication::translate("MainWindow", "错误: textEdit内容为空");
}

// Copies of the process-wide frames, so that naming a command changes none of them.
struct FrameCopies
{
    RESET_order_struct reset = ARM_Reset;
    APP_order_struct app = app_order;
    GPU_POWER_order_struct gpu = GPU_POWER_order;
    AD_DA_order_struct ad = AD_order;
    AD_DA_order_struct da = DA_order;
};

// What a named command takes, checked before the command runs.
enum class Takes { Nothing, ControlValue, Switch, Registers, Text, HexDigits };

struct Given
{
    int value = 0;
    bool on = false;
    QStringList texts;
};

struct NamedCommand
{
    const char *name;
    Takes takes;
    BoardCommand (*run)(FrameCopies &frames, const Given &given);
};

const NamedCommand namedCommands[] = {
    { "reset", Takes::Nothing, [](FrameCopies &f, const Given &) { return BoardCommand::reset(f.reset); } },
    { "erase", Takes::ControlValue, [](FrameCopies &f, const Given &g) { return BoardCommand::erase(f.app, g.value); } },
    { "start", Takes::ControlValue, [](FrameCopies &f, const Given &g) { return BoardCommand::jump(f.app, g.value); } },
    { "gpu", Takes::Switch, [](FrameCopies &f, const Given &g) { return BoardCommand::gpuPower(f.gpu, g.on); } },
    { "plot", Takes::Switch, [](FrameCopies &f, const Given &g) { return BoardCommand::plotting(f.gpu, g.on); } },
    { "fan", Takes::ControlValue, [](FrameCopies &f, const Given &g) { return BoardCommand::fanSpeed(f.gpu, g.value); } },
    { "ad-init", Takes::Nothing, [](FrameCopies &f, const Given &) {
          return BoardCommand::registerInit(f.ad, CommandFrames::adHeader); } },
    { "da-init", Takes::Nothing, [](FrameCopies &f, const Given &) {
          return BoardCommand::registerInit(f.da, CommandFrames::daHeader); } },
    { "ad-write", Takes::Registers, [](FrameCopies &f, const Given &g) {
          return BoardCommand::registerWrite(f.ad, CommandFrames::adHeader, g.texts.at(0), g.texts.at(1)); } },
    { "da-write", Takes::Registers, [](FrameCopies &f, const Given &g) {
          return BoardCommand::registerWrite(f.da, CommandFrames::daHeader, g.texts.at(0), g.texts.at(1)); } },
    { "text", Takes::Text, [](FrameCopies &, const Given &g) { return BoardCommand::text(g.texts.at(0)); } },
    // Hex digits may be given as one argument or several; white space between them
    // counts for nothing either way.
    { "hex", Takes::HexDigits, [](FrameCopies &, const Given &g) { return BoardCommand::hex(g.texts.join(u' ')); } },
};

// What each kind of argument looks like in the help, in the order of Takes.
const char *const argumentSynopses[] = { "", "N", "on|off", "ADDR DATA", "STRING", "\"AA BB ...\"" };

// The refusal when the arguments cannot be what the command takes; fills `given` when they can.
QString checkArguments(const QString &name, Takes takes, const QStringList &arguments, Given *given)
{
    const qsizetype expected = takes == Takes::Nothing ? 0 : takes == Takes::Registers ? 2 : 1;
    if (takes == Takes::HexDigits ? arguments.isEmpty() : arguments.size() != expected)
        return QCoreApplication::translate("MainWindow", "错误: %1 需要 %2 个参数, 给出了 %3 个")
            .arg(name).arg(expected).arg(arguments.size());
    given->texts = arguments;
    if (takes == Takes::ControlValue) {
        bool ok = false;
        given->value = arguments.at(0).toInt(&ok);
        if (!ok || given->value < controlMinimum || given->value > controlMaximum)
            return QCoreApplication::translate("MainWindow", "错误: %1 的值 '%2' 须为 %3 到 %4 的整数")
                .arg(name, arguments.at(0)).arg(controlMinimum).arg(controlMaximum);
    } else if (takes == Takes::Switch) {
        given->on = arguments.at(0) == QLatin1String("on");
        if (!given->on && arguments.at(0) != QLatin1String("off"))
            return QCoreApplication::translate("MainWindow", "错误: %1 的值 '%2' 须为 on 或 off").arg(name, arguments.at(0));
    }
    return {};
}

} // namespace

BoardCommand BoardCommand::reset(const RESET_order_struct &frame)
{
    return sending(CommandFrames::frameBytes(frame), { QCoreApplication::translate("MainWindow", "ARM复位指令发送") },
                   UserAction, LinesAfterSend);
}

BoardCommand BoardCommand::erase(APP_order_struct &frame, int spinBoxValue)
{
    CommandFrames::setErase(frame, spinBoxValue);
    return sending(CommandFrames::frameBytes(frame));
}

BoardCommand BoardCommand::jump(APP_order_struct &frame, int spinBoxValue)
{
    CommandFrames::setJump(frame, spinBoxValue);
    return sending(CommandFrames::frameBytes(frame));
}

BoardCommand BoardCommand::gpuPower(GPU_POWER_order_struct &frame, bool on)
{
    CommandFrames::setGpuPower(frame, on);
    return sending(CommandFrames::frameBytes(frame),
                   { on ? QCoreApplication::translate("MainWindow", "GPU上电")
                        : QCoreApplication::translate("MainWindow", "GPU断电") });
}

BoardCommand BoardCommand::plotting(GPU_POWER_order_struct &frame, bool on)
{
    CommandFrames::setPlotting(frame, on);
    return sending(CommandFrames::frameBytes(frame),
                   { on ? QCoreApplication::translate("MainWindow", "曲线绘制")
                        : QCoreApplication::translate("MainWindow", "关闭绘制") });
}

BoardCommand BoardCommand::fanSpeed(GPU_POWER_order_struct &frame, int sliderPosition)
{
    CommandFrames::setFanSpeed(frame, sliderPosition);
    return sending(CommandFrames::frameBytes(frame));
}

BoardCommand BoardCommand::registerInit(AD_DA_order_struct &frame, CommandFrames::RegisterHeader header)
{
    CommandFrames::setRegisterInit(frame, header);
    return sending(CommandFrames::frameBytes(frame));
}

BoardCommand BoardCommand::registerWrite(AD_DA_order_struct &frame, CommandFrames::RegisterHeader header,
                                         const QString &address, const QString &value)
{
    const RegisterField addressField = RegisterField::parse(address);
    const RegisterField valueField = RegisterField::parse(value);
    if (addressField.status != RegisterField::Valid || valueField.status != RegisterField::Valid) {
        const bool empty = addressField.status == RegisterField::Empty || valueField.status == RegisterField::Empty;
        return refused(QCoreApplication::translate("MainWindow", "错误: 寄存器地址和数据须为0-FFFF的16进制数"), empty);
    }
    CommandFrames::setRegisterWrite(frame, header, addressField.value, valueField.value);
    return sending(CommandFrames::frameBytes(frame));
}

BoardCommand BoardCommand::text(const QString &text)
{
    if (text.isEmpty())
        return refused(emptyTextRefusal());
    const TextInput input = TextInput::encode(text);
    return sending(input.bytes,
                   { QCoreApplication::translate("MainWindow", "输入字符: %1, 字节数: %2")
                         .arg(input.charCount).arg(input.bytes.size()),
                     QCoreApplication::translate("MainWindow", "16进制: ") + input.hexEcho },
                   Plain);
}

BoardCommand BoardCommand::hex(const QString &text)
{
    if (text.isEmpty())
        return refused(emptyTextRefusal());
    const HexInput input = HexInput::parse(text);
    switch (input.status) {
    case HexInput::Invalid:
        return refused(QCoreApplication::translate("MainWindow", "错误: 只能输入16进制字符(0-9, A-F)和空格"));
    case HexInput::Blank:
        return refused(emptyTextRefusal(), true);
    case HexInput::Ready:
        break;
    }
    return sending(input.bytes, { QCoreApplication::translate("MainWindow", "16进制: ") + input.normalised }, Plain);
}

QStringList BoardCommand::synopses()
{
    QStringList lines;
    for (const NamedCommand &command : namedCommands)
        lines.append(QStringLiteral("%1 %2").arg(QLatin1String(command.name),
                                                 QLatin1String(argumentSynopses[int(command.takes)])).trimmed());
    return lines;
}

BoardCommand BoardCommand::parse(const QString &name, const QStringList &arguments)
{
    for (const NamedCommand &command : namedCommands) {
        if (name != QLatin1String(command.name))
            continue;
        Given given;
        if (const QString refusal = checkArguments(name, command.takes, arguments, &given); !refusal.isEmpty())
            return refused(refusal);
        FrameCopies frames;
        return command.run(frames, given);
    }
    return refused(QCoreApplication::translate("MainWindow", "错误: 未知命令 '%1'").arg(name));
}
