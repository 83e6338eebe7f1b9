#include "gui/statusline.h"

#include "gui/recording.h"

#include <QLabel>
#include <QStatusBar>
#include <QTime>

StatusLine::StatusLine(QStatusBar *bar, const Recording *telemetry, const Recording *raw, QObject *parent)
    : QObject(parent)
    , m_label(new QLabel(bar))
    , m_telemetry(telemetry)
    , m_raw(raw)
{
    m_label->setObjectName(QStringLiteral("label_status"));
    m_label->setTextFormat(Qt::RichText);
    bar->addWidget(m_label, 1);
    m_timer.setInterval(updateIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StatusLine::update);
    m_timer.start();
    update();
}

void StatusLine::portOpened(const QString &portName, const QString &lineSettings)
{
    m_port = portName + u' ' + lineSettings;
    m_open = true;
    m_received = 0;
    m_sent = 0;
    update();
}

void StatusLine::portClosed()
{
    m_open = false;
    update();
}

void StatusLine::addFrame(const Telemetry::Sample &values)
{
    ++m_frames;
    m_latest = values;
}

void StatusLine::setLimits(const CurveLimits::Set &limits)
{
    m_limits = limits;
    showText();
}

void StatusLine::setProtectionOn(bool on)
{
    m_protectionOn = on;
    showText();
}

void StatusLine::setMqttState(MqttPublisher::State state)
{
    m_mqttState = state;
    showText();
}

namespace {

QString mqttStateText(MqttPublisher::State state)
{
    switch (state) {
    case MqttPublisher::State::Off:
        break;
    case MqttPublisher::State::Connecting:
        return StatusLine::tr("MQTT 连接中");
    case MqttPublisher::State::Connected:
        return StatusLine::tr("MQTT 已连接");
    case MqttPublisher::State::Reconnecting:
        return StatusLine::tr("MQTT 重连中");
    case MqttPublisher::State::Failed:
        return StatusLine::tr("MQTT 连接失败");
    }
    return {};
}

// Rich text folds runs of blanks; the bar keeps its spacing.
QString keepingBlanks(const QString &plain)
{
    return plain.toHtmlEscaped().replace(u' ', QStringLiteral("&nbsp;"));
}

} // namespace

void StatusLine::update()
{
    m_tick = (m_tick + 1) % int(m_framesAt.size());
    m_framesPerSecond = m_frames - m_framesAt[m_tick];
    m_framesAt[m_tick] = m_frames;
    showText();
}

// Between two counts, so that the frames over the last second stay a second's.
void StatusLine::showText()
{
    QStringList parts;
    QStringList richParts;
    const auto add = [&](const QString &plain) {
        parts << plain;
        richParts << keepingBlanks(plain);
    };
    add(m_open ? m_port : tr("未连接"));
    add(tr("收 %1 字节  发 %2 字节").arg(m_received).arg(m_sent));
    add(tr("%1 帧/秒").arg(m_framesPerSecond));
    if (m_latest) {
        QStringList values;
        QStringList richValues;
        for (int series = 0; series < Telemetry::seriesCount; ++series) {
            const double value = (*m_latest)[size_t(series)];
            const QString named = QLatin1String(CurveLimits::shortNames[size_t(series)]) + u' ' + QString::number(value);
            values << named;
            richValues << (m_limits[size_t(series)].admits(value)
                               ? keepingBlanks(named)
                               : QStringLiteral("<span style=\"color: red;\">%1</span>").arg(keepingBlanks(named)));
        }
        parts << values.join(QStringLiteral("  "));
        richParts << richValues.join(QStringLiteral("&nbsp;&nbsp;"));
    }
    if (m_protectionOn)
        add(tr("保护"));
    if (const QString mqtt = mqttStateText(m_mqttState); !mqtt.isEmpty())
        add(mqtt);
    qint64 recordingUs = -1;
    for (const Recording *recording : { m_telemetry, m_raw }) {
        if (recording->isRecording())
            recordingUs = std::max(recordingUs, recording->file().elapsedUs());
    }
    if (recordingUs >= 0)
        add(tr("记录中 %1").arg(QTime(0, 0).addMSecs(int(recordingUs / 1000)).toString(QStringLiteral("HH:mm:ss"))));
    m_text = parts.join(QStringLiteral("  |  "));
    m_label->setText(richParts.join(QStringLiteral("&nbsp;&nbsp;|&nbsp;&nbsp;")));
}
