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

QString StatusLine::text() const
{
    return m_label->text();
}

void StatusLine::update()
{
    m_tick = (m_tick + 1) % int(m_framesAt.size());
    m_framesPerSecond = m_frames - m_framesAt[m_tick];
    m_framesAt[m_tick] = m_frames;

    QStringList parts;
    parts << (m_open ? m_port : tr("未连接"));
    parts << tr("收 %1 字节  发 %2 字节").arg(m_received).arg(m_sent);
    parts << tr("%1 帧/秒").arg(m_framesPerSecond);
    if (m_latest) {
        QStringList values;
        for (const double value : *m_latest)
            values << QString::number(value);
        parts << values.join(u' ');
    }
    qint64 recordingUs = -1;
    for (const Recording *recording : { m_telemetry, m_raw }) {
        if (recording->isRecording())
            recordingUs = std::max(recordingUs, recording->file().elapsedUs());
    }
    if (recordingUs >= 0)
        parts << tr("记录中 %1").arg(QTime(0, 0).addMSecs(int(recordingUs / 1000)).toString(QStringLiteral("HH:mm:ss")));
    m_label->setText(parts.join(QStringLiteral("  |  ")));
}
