#include "boardsimulator.h"

#include "telemetryclock.h"

#include <QFile>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

QString hex32(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(8, QLatin1Char('0')).toUpper();
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

quint32 littleEndian32(const QByteArray &bytes, int at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(bytes[at + i]);
    return value;
}

// The split points draw from a generator of their own, seeded apart from the
// noise, so that cutting writes does not change the readings.
constexpr quint32 splitSeedMask = 0x5A5A5A5Au;

} // namespace

BoardSimulator::BoardSimulator(QObject *parent)
    : BoardSimulator(Settings(), parent)
{
}

BoardSimulator::BoardSimulator(const Settings &settings, QObject *parent)
    : QObject(parent),
      m_decoder(new FrameDecoder(this)),
      m_clock(new TelemetryClock(this)),
      m_shaper(new WriteShaper(this)),
      m_imageIdleTimer(new QTimer(this))
{
    connect(m_decoder, &FrameDecoder::frameDecoded, this, &BoardSimulator::handleFrame);
    connect(m_decoder, &FrameDecoder::bytesSkipped, this, &BoardSimulator::reportSkipped);
    connect(m_decoder, &FrameDecoder::partialFrameDropped, this, &BoardSimulator::reportDropped);
    connect(m_clock, &TelemetryClock::frameDue, this, &BoardSimulator::sendTelemetry);
    connect(m_shaper, &WriteShaper::writeRequested, this, &BoardSimulator::writeRequested);

    m_imageIdleTimer->setSingleShot(true);
    connect(m_imageIdleTimer, &QTimer::timeout, this, &BoardSimulator::finishImage);

    m_state.seed(m_settings.seed);
    m_shaper->seed(m_settings.seed ^ splitSeedMask);
    setSettings(settings);
}

BoardSimulator::~BoardSimulator() = default;

void BoardSimulator::setSettings(const Settings &settings)
{
    const Settings before = std::exchange(m_settings, settings);
    m_settings.telemetryRate = std::clamp(settings.telemetryRate, 1, 1000);
    m_settings.noiseAmplitude = std::clamp(settings.noiseAmplitude, 0, 20);
    m_settings.idleTimeoutMs = qMax(1, settings.idleTimeoutMs);

    if (m_settings.seed != before.seed) {
        m_state.seed(m_settings.seed);
        m_shaper->seed(m_settings.seed ^ splitSeedMask);
    }
    m_state.setNoiseAmplitude(m_settings.noiseAmplitude);
    m_state.setTelemetryRate(m_settings.telemetryRate);
    if (m_settings.telemetryRate != m_clock->rate())
        m_clock->setRate(m_settings.telemetryRate);
    m_decoder->setIdleTimeout(m_settings.idleTimeoutMs);
    if (m_imageIdleTimer->interval() != m_settings.idleTimeoutMs)
        m_imageIdleTimer->setInterval(m_settings.idleTimeoutMs);
    m_shaper->setSettings(m_settings.writes);
    m_settings.writes = m_shaper->settings();
}

bool BoardSimulator::isPlotting() const
{
    return m_clock->isRunning();
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
    m_decoder->receive(bytes);
}

void BoardSimulator::reportSkipped(const QByteArray &skipped)
{
    logBytes("<-", skipped,
             QStringLiteral("%1 byte(s) not understood, skipped: %2").arg(skipped.size()).arg(quoted(skipped)),
             LineKind::Problem);
    emit bytesSkipped(skipped);
    sendText(QStringLiteral("? %1 byte(s) not understood\r\n").arg(skipped.size()).toLatin1());
}

void BoardSimulator::reportDropped(const QByteArray &stale)
{
    logBytes("<-", stale,
             QStringLiteral("incomplete frame, %1 byte(s) dropped after %2 ms without the rest")
                     .arg(stale.size())
                     .arg(m_settings.idleTimeoutMs),
             LineKind::Problem);
    emit bytesSkipped(stale);
}

void BoardSimulator::handleFrame(FrameKind kind, const QByteArray &frame)
{
    const BoardState::Answer answer = kind == FrameKind::UpdatePacket ? placePacket(frame) : m_state.answer(kind, frame);
    if (answer.plotting)
        setPlotting(*answer.plotting);

    logBytes("<-", frame, answer.meaning, answer.problem ? LineKind::Problem : LineKind::Command);
    emit frameDecoded(kind, frame, answer.meaning);
    // The image is done once the console starts it; its report comes first.
    if (kind == FrameKind::JumpToApp)
        finishImage();
    sendText(answer.text);
}

BoardState::Answer BoardSimulator::placePacket(const QByteArray &frame)
{
    const quint32 offset = littleEndian32(frame, 4);
    BoardState::Answer answer;
    answer.meaning = QStringLiteral("update packet offset %1 (%2 bytes)").arg(offset).arg(ImageAssembly::payloadSize);
    if (!ImageAssembly::holds(offset)) {
        answer.meaning += QStringLiteral(", beyond the %1 MiB the board holds, ignored")
                                  .arg(ImageAssembly::maxImageSize / (1024 * 1024));
        answer.problem = true;
        return answer;
    }
    if (!m_imagePending) {
        m_image = ImageAssembly();
        m_imagePending = true;
    }
    const QStringList notes = m_image.add(offset, QByteArrayView(frame).sliced(8, ImageAssembly::payloadSize)).notes();
    if (!notes.isEmpty()) {
        answer.meaning += QStringLiteral(", ") + notes.join(QStringLiteral(", "));
        answer.problem = true;
    }
    answer.meaning += QStringLiteral("; %1 bytes in %2 packet(s)").arg(m_image.coveredBytes()).arg(m_image.packets());
    emit imageProgress(m_image.coveredBytes(), m_image.packets());
    m_imageIdleTimer->start();
    return answer;
}

void BoardSimulator::finishImage()
{
    if (!m_imagePending)
        return;
    m_imageIdleTimer->stop();
    m_imagePending = false;

    ImageReport report = m_image.report();
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

    const QString path = m_settings.imageOutputPath;
    if (!path.isEmpty()) {
        QFile file(path);
        const QByteArray image = m_image.bytes();
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(image) == image.size() && file.flush()) {
            report.writtenTo = path;
            logNote(QStringLiteral("image written to %1").arg(path), LineKind::Image);
        } else {
            report.writeError = file.errorString();
            logNote(QStringLiteral("could not write the image to %1: %2").arg(path, report.writeError), LineKind::Problem);
        }
    }
    emit imageCompleted(report);
    sendText(QStringLiteral("Image received: %1 bytes, CRC-32 %2\r\n").arg(report.size).arg(hex32(report.crc32)).toLatin1());
}

void BoardSimulator::setPlotting(bool on)
{
    m_clock->setRunning(on);
}

void BoardSimulator::sendTelemetry()
{
    const QByteArray frame = m_state.nextTelemetryFrame();
    const auto reading = [&frame](int at) { return int(qint8(frame[at])); };
    logBytes("->", frame,
             QStringLiteral("telemetry 1.8V %1, 3.3V %2, 5V %3, 12V %4, all %5")
                     .arg(reading(5))
                     .arg(reading(6))
                     .arg(reading(7) * 0.27, 0, 'f', 2)
                     .arg(reading(8) * 0.45, 0, 'f', 2)
                     .arg(reading(9)),
             LineKind::Telemetry);
    m_shaper->write(frame);
}

void BoardSimulator::sendText(const QByteArray &text)
{
    // Text starting FF FF would be taken for a telemetry frame by the console;
    // every answer is plain ASCII, so that cannot happen.
    if (!m_settings.textAnswers || text.isEmpty())
        return;
    logBytes("->", text, QStringLiteral("text %1").arg(quoted(text, 200)), LineKind::Text);
    m_shaper->write(text);
}

void BoardSimulator::flush()
{
    m_shaper->flush();
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
