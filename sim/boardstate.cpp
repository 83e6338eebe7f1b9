#include "boardstate.h"

#include <algorithm>
#include <cmath>

namespace {

int clampToInt8(int value)
{
    return std::clamp(value, -128, 127);
}

QString hexValue(quint32 value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(digits, QLatin1Char('0')).toUpper();
}

quint16 littleEndian16(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8));
}

} // namespace

BoardState::BoardState()
    : m_noiseRandom(1)
{
}

BoardState::Answer BoardState::answer(FrameDecoder::FrameKind kind, const QByteArray &frame)
{
    using FrameKind = FrameDecoder::FrameKind;
    Answer answer;
    switch (kind) {
    case FrameKind::Reset:
        // The converters are chips of their own and keep their registers; the
        // microcontroller drops the rail, stops the fan and stops streaming.
        answer.plotting = false;
        m_railOn = false;
        m_fanSpeed = 0;
        answer.meaning = QStringLiteral("ARM reset");
        answer.text = "Board bootloader v1.0 ready\r\n";
        break;
    case FrameKind::EraseApp: {
        const int parameter = quint8(frame[3]);
        answer.meaning = QStringLiteral("erase app, parameter %1").arg(parameter);
        answer.text = QStringLiteral("App area erased (parameter %1)\r\n").arg(parameter).toLatin1();
        break;
    }
    case FrameKind::JumpToApp:
        m_lastJumpParameter = quint8(frame[3]);
        answer.meaning = QStringLiteral("jump to app, parameter %1").arg(m_lastJumpParameter);
        answer.text = QStringLiteral("Starting app (parameter %1)\r\n").arg(m_lastJumpParameter).toLatin1();
        break;
    case FrameKind::Gpu:
        answer = answerGpu(frame);
        break;
    case FrameKind::AdRegister:
    case FrameKind::DaRegister:
        answer = answerRegister(kind, frame);
        break;
    case FrameKind::UpdatePacket:
        break;
    }
    return answer;
}

BoardState::Answer BoardState::answerGpu(const QByteArray &frame)
{
    const quint8 selector = quint8(frame[2]);
    const quint8 rail = quint8(frame[4]);
    const quint8 fan = quint8(frame[5]);
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    Answer answer;
    switch (selector) {
    case 0x00:
        if (rail != 'N' && rail != 'F') {
            answer.meaning = QStringLiteral("GPU rail byte %1 not understood, rail left %2").arg(hexValue(rail, 2), onOff(m_railOn));
            answer.problem = true;
            break;
        }
        // The rail's capacitors charge when it comes on, not when it is told again.
        if (rail == 'N' && !m_railOn)
            m_framesSinceRailOn = 0;
        m_railOn = rail == 'N';
        m_fanSpeed = fan;
        answer.meaning = QStringLiteral("GPU rail %1, fan %2").arg(onOff(m_railOn), hexValue(fan, 2));
        answer.text = QStringLiteral("GPU rail %1, fan %2\r\n").arg(onOff(m_railOn), hexValue(fan, 2)).toLatin1();
        break;
    case 0x01:
        answer.plotting = true;
        answer.meaning = QStringLiteral("GPU plotting on");
        break;
    case 0x02:
        answer.plotting = false;
        answer.meaning = QStringLiteral("GPU plotting off");
        break;
    case 0x03:
        m_fanSpeed = fan;
        answer.meaning = QStringLiteral("GPU fan speed %1 (%2)").arg(hexValue(fan, 2)).arg(fan);
        answer.text = QStringLiteral("Fan speed %1\r\n").arg(fan).toLatin1();
        break;
    default:
        answer.meaning = QStringLiteral("GPU selector %1 not understood").arg(hexValue(selector, 2));
        answer.problem = true;
        break;
    }
    return answer;
}

BoardState::Answer BoardState::answerRegister(FrameDecoder::FrameKind kind, const QByteArray &frame)
{
    const bool ad = kind == FrameDecoder::FrameKind::AdRegister;
    const QString name = ad ? QStringLiteral("AD") : QStringLiteral("DA");
    const quint16 address = littleEndian16(frame, 4);
    const quint16 data = littleEndian16(frame, 6);
    Answer answer;
    if (frame[2] == 0x00) {
        // The console repeats the last address and data in this frame; the
        // converter ignores them and keeps its registers.
        ++(ad ? m_adInitialisations : m_daInitialisations);
        answer.meaning = QStringLiteral("%1 initialise").arg(name);
        answer.text = QStringLiteral("%1 initialised\r\n").arg(name).toLatin1();
    } else {
        (ad ? m_adRegisters : m_daRegisters).insert(address, data);
        answer.meaning = QStringLiteral("%1 write reg %2 = %3").arg(name, hexValue(address, 4), hexValue(data, 4));
        answer.text = QStringLiteral("%1 reg %2 <= %3\r\n").arg(name, hexValue(address, 4), hexValue(data, 4)).toLatin1();
    }
    return answer;
}

// Switched on, the rail draws about twice its settled power at first, falling
// off with a time constant of a fifth of the inrush, and is settled once the
// inrush is over.
int BoardState::railReading()
{
    if (!m_railOn)
        return railOffReading;
    const qint64 elapsedMs = m_framesSinceRailOn * 1000 / m_telemetryRate;
    ++m_framesSinceRailOn;
    if (elapsedMs >= inrushMs)
        return railOnReading;
    constexpr double timeConstantMs = inrushMs / 5.0;
    return railOnReading + int(std::lround(railOnReading * std::exp(-double(elapsedMs) / timeConstantMs)));
}

QByteArray BoardState::nextTelemetryFrame()
{
    const auto noise = [this] {
        return m_noiseAmplitude > 0 ? m_noiseRandom.bounded(-m_noiseAmplitude, m_noiseAmplitude + 1) : 0;
    };
    // Raw readings chosen so that every sum stays inside a signed byte: the
    // console scales the 5 V byte by 0.27 and the 12 V byte by 0.45.
    const int power18 = clampToInt8(12 + noise());
    const int power33 = clampToInt8(25 + noise());
    const int power5 = clampToInt8(20 + m_fanSpeed * 100 / 255 + noise());
    const int power12 = clampToInt8(railReading() + noise());
    const int total = clampToInt8(qRound(power18 + power33 + power5 * 0.27 + power12 * 0.45) + noise());

    QByteArray frame(telemetryFrameLength, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFF);
    frame[2] = char(m_telemetrySequence & 0xFF);
    frame[3] = char((m_telemetrySequence >> 8) & 0xFF);
    frame[4] = char((m_telemetrySequence >> 16) & 0xFF);
    frame[5] = char(power18);
    frame[6] = char(power33);
    frame[7] = char(power5);
    frame[8] = char(power12);
    frame[9] = char(total);
    ++m_telemetrySequence;
    return frame;
}
