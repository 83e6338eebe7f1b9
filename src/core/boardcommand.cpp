#include "core/boardcommand.h"

#include "core/commandframes.h"
#include "core/hexinput.h"
#include "core/registerfield.h"

#include <optional>

namespace {

// The window's spin boxes and fan slider keep the toolkit's default range.
constexpr int controlMinimum = 0;
constexpr int controlMaximum = 99;

const QString registerError = QStringLiteral("错误: 寄存器地址和数据须为0-FFFF的16进制数");
const QString hexError = QStringLiteral("错误: 只能输入16进制字符(0-9, A-F)和空格");
const QString emptyTextError = QStringLiteral("错误: textEdit内容为空");

struct Synopsis
{
    const char *name;
    const char *arguments;
};

constexpr Synopsis commands[] = {
    { "reset", "" },       { "erase", "N" },       { "start", "N" },
    { "gpu", "on|off" },   { "plot", "on|off" },   { "fan", "N" },
    { "ad-init", "" },     { "da-init", "" },      { "ad-write", "ADDR DATA" },
    { "da-write", "ADDR DATA" }, { "text", "STRING" }, { "hex", "\"AA BB ...\"" },
};

int argumentCount(const QString &name)
{
    for (const Synopsis &command : commands) {
        if (name == QLatin1String(command.name)) {
            const QString arguments = QLatin1String(command.arguments);
            return arguments.isEmpty() ? 0 : int(arguments.count(u' ') + 1);
        }
    }
    return -1;
}

BoardCommand refused(const QString &error)
{
    return { {}, error, {} };
}

// The value of a spin box or of the fan slider; nothing when the control could not hold it.
std::optional<int> controlValue(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < controlMinimum || value > controlMaximum)
        return std::nullopt;
    return value;
}

QString controlValueError(const QString &name, const QString &text)
{
    return QStringLiteral("%1: '%2' is not a number from %3 to %4").arg(name, text).arg(controlMinimum).arg(controlMaximum);
}

// Returns true and the switch's state for "on" or "off".
bool onOff(const QString &text, bool *on)
{
    *on = text == QLatin1String("on");
    return *on || text == QLatin1String("off");
}

BoardCommand registerWrite(const AD_DA_order_struct &current, CommandFrames::RegisterHeader header,
                           const QStringList &arguments)
{
    const RegisterField address = RegisterField::parse(arguments.at(0));
    const RegisterField value = RegisterField::parse(arguments.at(1));
    if (address.status != RegisterField::Valid || value.status != RegisterField::Valid)
        return refused(registerError);
    AD_DA_order_struct frame = current;
    CommandFrames::setRegisterWrite(frame, header, address.value, value.value);
    return { CommandFrames::frameBytes(frame), {}, {} };
}

BoardCommand registerInit(const AD_DA_order_struct &current, CommandFrames::RegisterHeader header)
{
    AD_DA_order_struct frame = current;
    CommandFrames::setRegisterInit(frame, header);
    return { CommandFrames::frameBytes(frame), {}, {} };
}

} // namespace

QStringList BoardCommand::synopses()
{
    QStringList lines;
    for (const Synopsis &command : commands)
        lines.append(QStringLiteral("%1 %2").arg(QLatin1String(command.name), QLatin1String(command.arguments)).trimmed());
    return lines;
}

BoardCommand BoardCommand::parse(const QString &name, const QStringList &arguments)
{
    const int expected = argumentCount(name);
    if (expected < 0)
        return refused(QStringLiteral("unknown command '%1'").arg(name));
    // Hex digits may be given as one argument or several; white space between them
    // counts for nothing either way.
    const bool argumentsJoin = name == QLatin1String("hex");
    if (argumentsJoin ? arguments.isEmpty() : arguments.size() != expected)
        return refused(QStringLiteral("%1 takes %2 argument(s), %3 given").arg(name).arg(expected).arg(arguments.size()));

    if (name == QLatin1String("reset"))
        return { CommandFrames::frameBytes(ARM_Reset), {}, QStringLiteral("ARM复位指令发送") };
    if (name == QLatin1String("erase") || name == QLatin1String("start") || name == QLatin1String("fan")) {
        const std::optional<int> value = controlValue(arguments.at(0));
        if (!value)
            return refused(controlValueError(name, arguments.at(0)));
        if (name == QLatin1String("fan")) {
            GPU_POWER_order_struct frame = GPU_POWER_order;
            CommandFrames::setFanSpeed(frame, *value);
            return { CommandFrames::frameBytes(frame), {}, {} };
        }
        APP_order_struct frame = app_order;
        if (name == QLatin1String("erase"))
            CommandFrames::setErase(frame, *value);
        else
            CommandFrames::setJump(frame, *value);
        return { CommandFrames::frameBytes(frame), {}, {} };
    }
    if (name == QLatin1String("gpu") || name == QLatin1String("plot")) {
        bool on = false;
        if (!onOff(arguments.at(0), &on))
            return refused(QStringLiteral("%1: '%2' is neither on nor off").arg(name, arguments.at(0)));
        GPU_POWER_order_struct frame = GPU_POWER_order;
        if (name == QLatin1String("gpu")) {
            CommandFrames::setGpuPower(frame, on);
            return { CommandFrames::frameBytes(frame), {}, on ? QStringLiteral("GPU上电") : QStringLiteral("GPU断电") };
        }
        CommandFrames::setPlotting(frame, on);
        return { CommandFrames::frameBytes(frame), {}, on ? QStringLiteral("曲线绘制") : QStringLiteral("关闭绘制") };
    }
    if (name == QLatin1String("ad-init"))
        return registerInit(AD_order, CommandFrames::adHeader);
    if (name == QLatin1String("da-init"))
        return registerInit(DA_order, CommandFrames::daHeader);
    if (name == QLatin1String("ad-write"))
        return registerWrite(AD_order, CommandFrames::adHeader, arguments);
    if (name == QLatin1String("da-write"))
        return registerWrite(DA_order, CommandFrames::daHeader, arguments);
    if (name == QLatin1String("text")) {
        if (arguments.at(0).isEmpty())
            return refused(emptyTextError);
        return { TextInput::encode(arguments.at(0)).bytes, {}, {} };
    }
    const HexInput input = HexInput::parse(arguments.join(u' '));
    switch (input.status) {
    case HexInput::Invalid:
        return refused(hexError);
    case HexInput::Blank:
        return refused(emptyTextError);
    case HexInput::Ready:
        break;
    }
    return { input.bytes, {}, QStringLiteral("16进制: ") + input.normalised };
}
