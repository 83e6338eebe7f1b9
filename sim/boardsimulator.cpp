#include "boardsimulator.h"

#include <QFile>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr int frameLengthReset = 8;
constexpr int frameLengthApp = 4;
constexpr int frameLengthGpu = 8;
constexpr int frameLengthRegister = 8;
constexpr int frameLengthUpdate = 40;
constexpr int updatePayload = 32;
// Packets reaching beyond this offset are refused rather than grow the image.
constexpr quint32 maxImageSize = 64 * 1024 * 1024;

constexpr quint8 resetFrame[frameLengthReset] = { 0xA4, 0xA4, 0x72, 0x65, 0x73, 0x65, 0x74, 0x00 };

constexpr BoardSimulator::FrameKind allKinds[] = {
    BoardSimulator::FrameKind::Reset,      BoardSimulator::FrameKind::EraseApp,
    BoardSimulator::FrameKind::JumpToApp,  BoardSimulator::FrameKind::Gpu,
    BoardSimulator::FrameKind::AdRegister, BoardSimulator::FrameKind::DaRegister,
    BoardSimulator::FrameKind::UpdatePacket,
};

int frameLength(BoardSimulator::FrameKind kind)
{
    switch (kind) {
    case BoardSimulator::FrameKind::Reset:
        return frameLengthReset;
    case BoardSimulator::FrameKind::EraseApp:
    case BoardSimulator::FrameKind::JumpToApp:
        return frameLengthApp;
    case BoardSimulator::FrameKind::Gpu:
        return frameLengthGpu;
    case BoardSimulator::FrameKind::AdRegister:
    case BoardSimulator::FrameKind::DaRegister:
        return frameLengthRegister;
    case BoardSimulator::FrameKind::UpdatePacket:
        return frameLengthUpdate;
    }
    return 0;
}

// Besides the header, every byte the console never varies is checked, so that
// stray bytes that happen to look like a header are not taken for a frame.
bool byteFits(BoardSimulator::FrameKind kind, int index, quint8 byte)
{
    switch (kind) {
    case BoardSimulator::FrameKind::Reset:
        return byte == resetFrame[index];
    case BoardSimulator::FrameKind::EraseApp:
        return index > 2 || byte == (index < 2 ? 0xA9 : 0x9A);
    case BoardSimulator::FrameKind::JumpToApp:
        return index > 2 || byte == (index < 2 ? 0xA8 : 0x9B);
    case BoardSimulator::FrameKind::Gpu:
        switch (index) {
        case 0:
        case 1:
            return byte == 0xA5;
        case 3:
            return byte == 0x00;
        case 6:
        case 7:
            return byte == 0xAE;
        default:
            return true;
        }
    case BoardSimulator::FrameKind::AdRegister:
    case BoardSimulator::FrameKind::DaRegister: {
        const bool ad = kind == BoardSimulator::FrameKind::AdRegister;
        switch (index) {
        case 0:
            return byte == (ad ? 0x96 : 0x91);
        case 1:
            return byte == (ad ? 0x53 : 0x22);
        case 2:
            return byte == 0x00 || byte == 0x01;
        case 3:
            return byte == 0x00;
        default:
            return true;
        }
    }
    case BoardSimulator::FrameKind::UpdatePacket:
        switch (index) {
        case 0:
        case 1:
            return byte == 0xA6;
        case 2:
        case 3:
            return byte == 0x78;
        default:
            return true;
        }
    }
    return false;
}

constexpr std::array<quint32, 256> makeCrcTable()
{
    std::array<quint32, 256> table {};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<quint32, 256> crcTable = makeCrcTable();

int clampToInt8(int value)
{
    return std::clamp(value, -128, 127);
}

QString hexValue(quint32 value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(digits, QLatin1Char('0')).toUpper();
}

QString hex8(quint8 value)
{
    return hexValue(value, 2);
}

QString hex16(quint16 value)
{
    return hexValue(value, 4);
}

QString hex32(quint32 value)
{
    return hexValue(value, 8);
}

// Shows bytes as a quoted string, escaping what is not printable ASCII.
QString quoted(QByteArrayView bytes, qsizetype maxBytes = 48)
{
    QString out = QStringLiteral("\"");
    for (qsizetype i = 0; i < bytes.size() && i < maxBytes; ++i) {
        const auto byte = quint8(bytes[i]);
        switch (byte) {
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '"':
        case '\\':
            out += QLatin1Char('\\');
            out += QLatin1Char(char(byte));
            break;
        default:
            if (byte >= 0x20 && byte < 0x7F)
                out += QLatin1Char(char(byte));
            else
                out += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
    }
    out += QLatin1Char('"');
    if (bytes.size() > maxBytes)
        out += QStringLiteral("...");
    return out;
}

} // namespace

BoardSimulator::BoardSimulator(QObject *parent)
    : QObject(parent),
      m_noiseRandom(1),
      m_splitRandom(1),
      m_telemetryTimer(new QTimer(this)),
      m_imageIdleTimer(new QTimer(this)),
      m_partialFrameTimer(new QTimer(this)),
      m_mergeTimer(new QTimer(this)),
      m_splitTimer(new QTimer(this))
{
    m_telemetryTimer->setTimerType(Qt::PreciseTimer);
    m_telemetryTimer->setSingleShot(true);
    connect(m_telemetryTimer, &QTimer::timeout, this, &BoardSimulator::sendDueTelemetry);

    m_imageIdleTimer->setSingleShot(true);
    m_imageIdleTimer->setInterval(m_idleTimeoutMs);
    connect(m_imageIdleTimer, &QTimer::timeout, this, &BoardSimulator::finishImage);

    m_partialFrameTimer->setSingleShot(true);
    m_partialFrameTimer->setInterval(m_idleTimeoutMs);
    connect(m_partialFrameTimer, &QTimer::timeout, this, &BoardSimulator::dropStalePartialFrame);

    m_mergeTimer->setSingleShot(true);
    m_mergeTimer->setInterval(m_mergeWindowMs);
    connect(m_mergeTimer, &QTimer::timeout, this, &BoardSimulator::flushMerged);

    m_splitTimer->setSingleShot(true);
    m_splitTimer->setTimerType(Qt::PreciseTimer);
    connect(m_splitTimer, &QTimer::timeout, this, &BoardSimulator::releaseHeldRest);
}

BoardSimulator::~BoardSimulator() = default;

int BoardSimulator::frameCount(FrameKind kind) const
{
    return m_frameCounts[size_t(kind)];
}

void BoardSimulator::setTelemetryRate(int framesPerSecond)
{
    m_telemetryRate = std::clamp(framesPerSecond, 1, 1000);
    if (m_telemetryTimer->isActive())
        startTelemetryClock();
}

void BoardSimulator::setNoiseAmplitude(int amplitude)
{
    m_noiseAmplitude = std::clamp(amplitude, 0, 20);
}

void BoardSimulator::setSeed(quint32 seed)
{
    m_noiseRandom.seed(seed);
    m_splitRandom.seed(seed ^ 0x5A5A5A5Au);
}

void BoardSimulator::setIdleTimeout(int milliseconds)
{
    m_idleTimeoutMs = qMax(1, milliseconds);
    m_imageIdleTimer->setInterval(m_idleTimeoutMs);
    m_partialFrameTimer->setInterval(m_idleTimeoutMs);
}

void BoardSimulator::setImageOutputPath(const QString &path)
{
    m_imageOutputPath = path;
}

void BoardSimulator::setTextAnswersEnabled(bool enabled)
{
    m_textAnswers = enabled;
}

void BoardSimulator::setMergeCount(int messagesPerWrite)
{
    m_mergeCount = qMax(1, messagesPerWrite);
    if (m_mergePendingCount >= m_mergeCount)
        flushMerged();
}

void BoardSimulator::setMergeWindow(int milliseconds)
{
    m_mergeWindowMs = qMax(1, milliseconds);
    m_mergeTimer->setInterval(m_mergeWindowMs);
}

void BoardSimulator::setSplitWrites(bool split)
{
    m_splitWrites = split;
}

void BoardSimulator::setSplitPoint(int byteIndex)
{
    m_splitPoint = qMax(0, byteIndex);
}

void BoardSimulator::setSplitDelay(int milliseconds)
{
    m_splitDelayMs = qMax(0, milliseconds);
}

quint32 BoardSimulator::crc32(QByteArrayView data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = crcTable[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QString BoardSimulator::hex(QByteArrayView bytes, qsizetype maxBytes)
{
    const qsizetype shown = qMin(bytes.size(), maxBytes);
    QString out = QString::fromLatin1(bytes.first(shown).toByteArray().toHex(' ').toUpper());
    if (shown < bytes.size())
        out += QStringLiteral(" ... (+%1)").arg(bytes.size() - shown);
    return out;
}

void BoardSimulator::receive(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    // A slot reached from one of our own signals may feed more bytes; the loop
    // that is running already picks them up from the buffer.
    if (m_decoding)
        return;
    decodeBuffer();
}

BoardSimulator::FrameMatch BoardSimulator::matchFrame(qsizetype position) const
{
    const qsizetype available = m_buffer.size() - position;
    FrameMatch best;
    for (const FrameKind kind : allKinds) {
        const int length = frameLength(kind);
        const qsizetype checked = qMin<qsizetype>(length, available);
        bool fits = true;
        for (qsizetype i = 0; i < checked && fits; ++i)
            fits = byteFits(kind, int(i), quint8(m_buffer[position + i]));
        if (!fits)
            continue;
        if (checked == length)
            return { Match::Complete, kind, length };
        best = { Match::Partial, kind, length };
    }
    return best;
}

void BoardSimulator::decodeBuffer()
{
    m_decoding = true;
    qsizetype position = 0;
    while (position < m_buffer.size()) {
        const FrameMatch found = matchFrame(position);
        if (found.match == Match::Partial)
            break;
        if (found.match == Match::None) {
            m_skipped.append(m_buffer[position]);
            ++position;
            continue;
        }
        reportSkipped();
        const QByteArray frame = m_buffer.mid(position, found.length);
        position += found.length;
        handleFrame(found.kind, frame);
    }
    m_buffer.remove(0, position);
    m_decoding = false;
    reportSkipped();

    if (m_buffer.isEmpty())
        m_partialFrameTimer->stop();
    else
        m_partialFrameTimer->start();
}

void BoardSimulator::reportSkipped()
{
    if (m_skipped.isEmpty())
        return;
    const QByteArray skipped = m_skipped;
    m_skipped.clear();
    m_skippedBytes += skipped.size();
    logBytes("<-", skipped,
             QStringLiteral("%1 byte(s) not understood, skipped: %2").arg(skipped.size()).arg(quoted(skipped)),
             LineKind::Problem);
    emit bytesSkipped(skipped);
    sendText(QStringLiteral("? %1 byte(s) not understood\r\n").arg(skipped.size()).toLatin1());
}

void BoardSimulator::dropStalePartialFrame()
{
    if (m_buffer.isEmpty() || m_decoding)
        return;
    const QByteArray stale = m_buffer;
    m_buffer.clear();
    m_skippedBytes += stale.size();
    logBytes("<-", stale,
             QStringLiteral("incomplete frame, %1 byte(s) dropped after %2 ms without the rest")
                     .arg(stale.size())
                     .arg(m_idleTimeoutMs),
             LineKind::Problem);
    emit bytesSkipped(stale);
}

void BoardSimulator::handleFrame(FrameKind kind, const QByteArray &frame)
{
    ++m_frameCounts[size_t(kind)];
    Outcome outcome;
    switch (kind) {
    case FrameKind::Reset:
        resetToPowerOn();
        outcome.meaning = QStringLiteral("ARM reset");
        outcome.answer = "Board bootloader v1.0 ready\r\n";
        break;
    case FrameKind::EraseApp: {
        const int parameter = quint8(frame[3]);
        outcome.meaning = QStringLiteral("erase app, parameter %1").arg(parameter);
        outcome.answer = QStringLiteral("App area erased (parameter %1)\r\n").arg(parameter).toLatin1();
        break;
    }
    case FrameKind::JumpToApp:
        m_lastJumpParameter = quint8(frame[3]);
        outcome.meaning = QStringLiteral("jump to app, parameter %1").arg(m_lastJumpParameter);
        outcome.answer = QStringLiteral("Starting app (parameter %1)\r\n").arg(m_lastJumpParameter).toLatin1();
        break;
    case FrameKind::Gpu:
        outcome = handleGpu(frame);
        break;
    case FrameKind::AdRegister:
    case FrameKind::DaRegister:
        outcome = handleRegister(kind, frame);
        break;
    case FrameKind::UpdatePacket:
        outcome = handleUpdate(frame);
        break;
    }

    logBytes("<-", frame, outcome.meaning, outcome.problem ? LineKind::Problem : LineKind::Command);
    emit frameDecoded(kind, frame, outcome.meaning);
    // The image is done once the console starts it; its report comes first.
    if (kind == FrameKind::JumpToApp)
        finishImage();
    sendText(outcome.answer);
}

BoardSimulator::Outcome BoardSimulator::handleGpu(const QByteArray &frame)
{
    const quint8 selector = quint8(frame[2]);
    const quint8 rail = quint8(frame[4]);
    const quint8 fan = quint8(frame[5]);
    Outcome outcome;
    switch (selector) {
    case 0x00:
        if (rail != 'N' && rail != 'F') {
            outcome.meaning = QStringLiteral("GPU rail byte %1 not understood, rail left %2")
                                      .arg(hex8(rail), m_railOn ? QStringLiteral("on") : QStringLiteral("off"));
            outcome.problem = true;
            break;
        }
        m_railOn = rail == 'N';
        m_fanSpeed = fan;
        outcome.meaning = QStringLiteral("GPU rail %1, fan %2").arg(m_railOn ? QStringLiteral("on") : QStringLiteral("off"), hex8(fan));
        outcome.answer = QStringLiteral("GPU rail %1, fan %2\r\n")
                                 .arg(m_railOn ? QStringLiteral("on") : QStringLiteral("off"), hex8(fan))
                                 .toLatin1();
        break;
    case 0x01:
        setPlotting(true);
        outcome.meaning = QStringLiteral("GPU plotting on");
        break;
    case 0x02:
        setPlotting(false);
        outcome.meaning = QStringLiteral("GPU plotting off");
        break;
    case 0x03:
        m_fanSpeed = fan;
        outcome.meaning = QStringLiteral("GPU fan speed %1 (%2)").arg(hex8(fan)).arg(fan);
        outcome.answer = QStringLiteral("Fan speed %1\r\n").arg(fan).toLatin1();
        break;
    default:
        outcome.meaning = QStringLiteral("GPU selector %1 not understood").arg(hex8(selector));
        outcome.problem = true;
        break;
    }
    return outcome;
}

BoardSimulator::Outcome BoardSimulator::handleRegister(FrameKind kind, const QByteArray &frame)
{
    const bool ad = kind == FrameKind::AdRegister;
    const QString name = ad ? QStringLiteral("AD") : QStringLiteral("DA");
    const quint16 address = littleEndian16(frame, 4);
    const quint16 data = littleEndian16(frame, 6);
    Outcome outcome;
    if (frame[2] == 0x00) {
        // The console repeats the last address and data in this frame; the
        // converter ignores them and keeps its registers.
        ++(ad ? m_adInitialisations : m_daInitialisations);
        outcome.meaning = QStringLiteral("%1 initialise").arg(name);
        outcome.answer = QStringLiteral("%1 initialised\r\n").arg(name).toLatin1();
    } else {
        (ad ? m_adRegisters : m_daRegisters).insert(address, data);
        outcome.meaning = QStringLiteral("%1 write reg %2 = %3").arg(name, hex16(address), hex16(data));
        outcome.answer = QStringLiteral("%1 reg %2 <= %3\r\n").arg(name, hex16(address), hex16(data)).toLatin1();
    }
    return outcome;
}

void BoardSimulator::startImage()
{
    m_image.clear();
    m_covered.clear();
    m_imagePending = true;
    m_highestOffset = 0;
    m_expectedOffset = 0;
    m_coveredBytes = 0;
    m_packets = 0;
    m_outOfOrderPackets = 0;
    m_overlappingPackets = 0;
}

BoardSimulator::Outcome BoardSimulator::handleUpdate(const QByteArray &frame)
{
    const quint32 offset = littleEndian32(frame, 4);
    const QByteArray data = frame.mid(8, updatePayload);
    Outcome outcome;
    outcome.meaning = QStringLiteral("update packet offset %1 (%2 bytes)").arg(offset).arg(updatePayload);
    if (offset > maxImageSize - updatePayload) {
        outcome.meaning += QStringLiteral(", beyond the %1 MiB the board holds, ignored").arg(maxImageSize / (1024 * 1024));
        outcome.problem = true;
        return outcome;
    }
    if (!m_imagePending)
        startImage();

    QStringList notes;
    if (offset > m_expectedOffset) {
        notes << QStringLiteral("skips %1 bytes after offset %2").arg(offset - m_expectedOffset).arg(m_expectedOffset);
    } else if (offset < m_expectedOffset) {
        ++m_outOfOrderPackets;
        notes << QStringLiteral("out of order, expected offset %1").arg(m_expectedOffset);
    }

    const quint32 end = offset + updatePayload;
    if (end > quint32(m_image.size())) {
        const qsizetype oldSize = m_image.size();
        m_image.resize(end);
        std::fill(m_image.begin() + oldSize, m_image.end(), char(0xFF));
        m_covered.resize(end);
    }
    int overlapped = 0;
    bool sameData = true;
    for (int i = 0; i < updatePayload; ++i) {
        const quint32 at = offset + quint32(i);
        if (m_covered.testBit(at)) {
            ++overlapped;
            sameData = sameData && m_image[at] == data[i];
        }
        m_image[at] = data[i];
        m_covered.setBit(at);
    }
    if (overlapped > 0) {
        ++m_overlappingPackets;
        notes << QStringLiteral("overlaps %1 bytes already received (%2)")
                         .arg(overlapped)
                         .arg(sameData ? QStringLiteral("same data") : QStringLiteral("different data"));
    }
    m_coveredBytes += updatePayload - overlapped;
    ++m_packets;
    m_highestOffset = qMax(m_highestOffset, offset);
    m_expectedOffset = end;

    if (!notes.isEmpty()) {
        outcome.meaning += QStringLiteral(", ") + notes.join(QStringLiteral(", "));
        outcome.problem = true;
    }
    outcome.meaning += QStringLiteral("; %1 bytes in %2 packet(s)").arg(m_coveredBytes).arg(m_packets);
    emit imageProgress(m_coveredBytes, m_packets);
    m_imageIdleTimer->start();
    return outcome;
}

QByteArray BoardSimulator::imageBytes() const
{
    qsizetype end = m_image.size();
    while (end > qsizetype(m_highestOffset) && quint8(m_image[end - 1]) == 0xFF)
        --end;
    return m_image.left(end);
}

BoardSimulator::ImageReport BoardSimulator::imageReport() const
{
    ImageReport report;
    const QByteArray image = imageBytes();
    report.size = image.size();
    report.crc32 = crc32(image);
    report.packets = m_packets;
    report.outOfOrderPackets = m_outOfOrderPackets;
    report.overlappingPackets = m_overlappingPackets;
    qsizetype holeStart = -1;
    for (qsizetype i = 0; i <= image.size(); ++i) {
        const bool covered = i == image.size() || m_covered.testBit(i);
        if (!covered && holeStart < 0) {
            holeStart = i;
        } else if (covered && holeStart >= 0) {
            report.holes.append({ quint32(holeStart), quint32(i - 1) });
            holeStart = -1;
        }
    }
    return report;
}

void BoardSimulator::finishImage()
{
    if (!m_imagePending)
        return;
    m_imageIdleTimer->stop();
    m_imagePending = false;

    ImageReport report = imageReport();
    QString summary = QStringLiteral("image finished: %1 bytes, CRC-32 %2, %3 packet(s)")
                              .arg(report.size)
                              .arg(hex32(report.crc32))
                              .arg(report.packets);
    if (report.outOfOrderPackets > 0)
        summary += QStringLiteral(", %1 out of order").arg(report.outOfOrderPackets);
    if (report.overlappingPackets > 0)
        summary += QStringLiteral(", %1 overlapping").arg(report.overlappingPackets);
    if (!report.holes.isEmpty()) {
        QStringList ranges;
        for (const auto &hole : std::as_const(report.holes)) {
            if (ranges.size() == 8) {
                ranges << QStringLiteral("and %1 more").arg(report.holes.size() - 8);
                break;
            }
            ranges << QStringLiteral("%1..%2").arg(hole.first).arg(hole.second);
        }
        summary += QStringLiteral("; %1 gap(s) never received, read as FF: %2").arg(report.holes.size()).arg(ranges.join(QStringLiteral(", ")));
    }
    logNote(summary, LineKind::Image);

    if (!m_imageOutputPath.isEmpty()) {
        QFile file(m_imageOutputPath);
        const QByteArray image = imageBytes();
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(image) == image.size() && file.flush()) {
            report.writtenTo = m_imageOutputPath;
            logNote(QStringLiteral("image written to %1").arg(m_imageOutputPath), LineKind::Image);
        } else {
            report.writeError = file.errorString();
            logNote(QStringLiteral("could not write the image to %1: %2").arg(m_imageOutputPath, report.writeError), LineKind::Problem);
        }
    }
    emit imageCompleted(report);
    sendText(QStringLiteral("Image received: %1 bytes, CRC-32 %2\r\n").arg(report.size).arg(hex32(report.crc32)).toLatin1());
}

void BoardSimulator::resetToPowerOn()
{
    // The converters are chips of their own and keep their registers; the
    // microcontroller drops the rail, stops the fan and stops streaming.
    setPlotting(false);
    m_railOn = false;
    m_fanSpeed = 0;
}

void BoardSimulator::setPlotting(bool on)
{
    m_plotting = on;
    if (!on)
        m_telemetryTimer->stop();
    else if (!m_telemetryTimer->isActive())
        startTelemetryClock();
}

// Frame n is due n periods after the clock started, counted in microseconds, so the
// rate holds whatever the timer's millisecond grain: a period of 3.33 ms is not cut
// to 3, nor one of 1.67 ms to 1.
void BoardSimulator::startTelemetryClock()
{
    m_telemetryClock.start();
    m_telemetryFramesSent = 0;
    scheduleTelemetry();
}

void BoardSimulator::scheduleTelemetry()
{
    const qint64 dueUs = (m_telemetryFramesSent + 1) * 1000000 / m_telemetryRate;
    const qint64 waitUs = dueUs - m_telemetryClock.nsecsElapsed() / 1000;
    m_telemetryTimer->start(int(std::max<qint64>(0, (waitUs + 999) / 1000)));
}

void BoardSimulator::sendDueTelemetry()
{
    const qint64 due = m_telemetryClock.nsecsElapsed() / 1000 * m_telemetryRate / 1000000;
    // Frames a busy machine made late go out at once, and the rate holds. A board held
    // up for longer than a second (a debugger) makes up one second, not all it missed.
    const qint64 catchUpLimit = m_telemetryRate;
    if (due - m_telemetryFramesSent > catchUpLimit)
        m_telemetryFramesSent = due - catchUpLimit;
    while (m_telemetryFramesSent < due && m_plotting) {
        ++m_telemetryFramesSent;
        sendTelemetry();
    }
    if (m_plotting && !m_telemetryTimer->isActive())
        scheduleTelemetry();
}

QByteArray BoardSimulator::nextTelemetryFrame()
{
    const auto noise = [this] {
        return m_noiseAmplitude > 0 ? m_noiseRandom.bounded(-m_noiseAmplitude, m_noiseAmplitude + 1) : 0;
    };
    // Raw readings chosen so that every sum stays inside a signed byte: the
    // console scales the 5 V byte by 0.27 and the 12 V byte by 0.45.
    const int power18 = clampToInt8(12 + noise());
    const int power33 = clampToInt8(25 + noise());
    const int power5 = clampToInt8(20 + m_fanSpeed * 100 / 255 + noise());
    const int power12 = clampToInt8((m_railOn ? 110 : 10) + noise());
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

void BoardSimulator::sendTelemetry()
{
    const QByteArray frame = nextTelemetryFrame();
    const auto reading = [&frame](int at) { return int(qint8(frame[at])); };
    logBytes("->", frame,
             QStringLiteral("telemetry 1.8V %1, 3.3V %2, 5V %3, 12V %4, all %5")
                     .arg(reading(5))
                     .arg(reading(6))
                     .arg(reading(7) * 0.27, 0, 'f', 2)
                     .arg(reading(8) * 0.45, 0, 'f', 2)
                     .arg(reading(9)),
             LineKind::Telemetry);
    queueMessage(frame);
}

void BoardSimulator::sendText(const QByteArray &text)
{
    // Text starting FF FF would be taken for a telemetry frame by the console;
    // every answer is plain ASCII, so that cannot happen.
    if (!m_textAnswers || text.isEmpty())
        return;
    logBytes("->", text, QStringLiteral("text %1").arg(quoted(text, 200)), LineKind::Text);
    queueMessage(text);
}

void BoardSimulator::queueMessage(const QByteArray &message)
{
    if (m_mergeCount <= 1) {
        writeOut(message);
        return;
    }
    m_mergePending += message;
    ++m_mergePendingCount;
    if (m_mergePendingCount >= m_mergeCount)
        flushMerged();
    else if (!m_mergeTimer->isActive())
        m_mergeTimer->start();
}

void BoardSimulator::flushMerged()
{
    m_mergeTimer->stop();
    if (m_mergePending.isEmpty())
        return;
    const QByteArray merged = m_mergePending;
    m_mergePending.clear();
    m_mergePendingCount = 0;
    writeOut(merged);
}

// The rest of a cut write waits for the split delay, so that the console's driver
// sees two arrivals, but never for a later write: that one pushes it out first.
// Were the next write to wait behind the pause, a board writing more often than the
// delay would queue without end and fall behind for good.
void BoardSimulator::writeOut(const QByteArray &bytes)
{
    releaseHeldRest();
    if (!m_splitWrites || bytes.size() < 2) {
        emit writeRequested(bytes);
        return;
    }
    const int cut = m_splitPoint > 0 ? int(qMin<qsizetype>(m_splitPoint, bytes.size() - 1))
                                     : int(m_splitRandom.bounded(1, int(bytes.size())));
    // Held before the first piece goes out, so that a write made from a slot of
    // writeRequested still comes after it.
    m_heldRest = bytes.mid(cut);
    if (m_splitDelayMs > 0)
        m_splitTimer->start(m_splitDelayMs);
    emit writeRequested(bytes.left(cut));
    if (m_splitDelayMs == 0)
        releaseHeldRest();
}

void BoardSimulator::releaseHeldRest()
{
    m_splitTimer->stop();
    if (m_heldRest.isEmpty())
        return;
    emit writeRequested(std::exchange(m_heldRest, QByteArray()));
}

void BoardSimulator::flush()
{
    flushMerged();
    releaseHeldRest();
}

void BoardSimulator::logBytes(const char *direction, QByteArrayView bytes, const QString &meaning, LineKind kind)
{
    emit lineLogged(QStringLiteral("%1 %2 %3  %4")
                            .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")),
                                 QLatin1String(direction), hex(bytes), meaning),
                    kind);
}

void BoardSimulator::logNote(const QString &meaning, LineKind kind)
{
    emit lineLogged(QStringLiteral("%1 -- %2").arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")), meaning), kind);
}

quint16 BoardSimulator::littleEndian16(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8));
}

quint32 BoardSimulator::littleEndian32(const QByteArray &bytes, int at)
{
    return quint32(littleEndian16(bytes, at)) | (quint32(littleEndian16(bytes, at + 2)) << 16);
}
