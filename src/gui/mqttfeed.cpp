#include "gui/mqttfeed.h"

#include "core/consoletext.h"
#include "link/boardsession.h"
#include "link/firmwareflasher.h"

#include <QFileInfo>

#include <chrono>

namespace {

QString curveName(int series)
{
    return QLatin1String(Telemetry::seriesNames[size_t(series)]);
}

QString limitStatus(LimitEvent::Kind kind)
{
    switch (kind) {
    case LimitEvent::Out:
        return QStringLiteral("outside");
    case LimitEvent::Back:
        return QStringLiteral("within");
    case LimitEvent::Chatter:
        return QStringLiteral("repeated");
    case LimitEvent::Protection:
        break;
    }
    return {};
}

} // namespace

MqttFeed::MqttFeed(QObject *parent)
    : QObject(parent)
    , m_publisher(new MqttPublisher(this))
{
    // The publisher keeps the line's state across starts; no port is open yet.
    m_publisher->setLineUp(false);
}

bool MqttFeed::start(const MqttPublisher::Settings &settings)
{
    return m_publisher->start(settings);
}

void MqttFeed::stop()
{
    m_publisher->stop();
}

void MqttFeed::portOpened(const QString &portName)
{
    m_port = portName;
    m_publisher->setLineUp(true);
    addEvent(QStringLiteral("opened"), {});
}

void MqttFeed::portClosed()
{
    m_publisher->setLineUp(false);
}

void MqttFeed::portLost(bool reconnecting)
{
    m_publisher->setLineUp(false);
    addEvent(QStringLiteral("lost"), { { QStringLiteral("message"), ConsoleText::portLost() },
                                       { QStringLiteral("reconnecting"), reconnecting } });
}

void MqttFeed::portReconnected(const QString &portName)
{
    m_port = portName;
    m_publisher->setLineUp(true);
    addEvent(QStringLiteral("reconnected"), {});
}

void MqttFeed::addSample(qint64 sampleNumber, const Telemetry::Sample &values)
{
    if (!isPublishing())
        return;
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    m_publisher->addSample(sampleNumber, std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count(),
                           values);
}

void MqttFeed::addText(const QString &text)
{
    if (isPublishing())
        m_publisher->addText(text.toUtf8());
}

void MqttFeed::followFlash(const FirmwareFlasher *flasher, const BoardSession *session)
{
    m_flashTenthsSent = 0;
    m_flashClock.start();
    connect(flasher, &FirmwareFlasher::progress, this, [this](qsizetype sent, qsizetype total) {
        const int tenths = total > 0 ? int(sent * 10 / total) : 10;
        while (m_flashTenthsSent < tenths) {
            const qint64 elapsedMs = std::max<qint64>(m_flashClock.elapsed(), 1);
            addEvent(QStringLiteral("progress"), { { QStringLiteral("percent"), ++m_flashTenthsSent * 10 },
                                                   { QStringLiteral("bytes"), sent },
                                                   { QStringLiteral("total"), total },
                                                   { QStringLiteral("bytes_per_second"), sent * 1000 / elapsedMs } });
        }
    });
    connect(flasher, &FirmwareFlasher::finished, this, [this, flasher] { flashEnded(flasher, {}, {}); });
    // The window has looked for a lost port before this is told: a port no longer
    // open was lost under the flash, an open one refused the packet or was closed
    // by the user.
    connect(flasher, &FirmwareFlasher::failed, this, [this, flasher, session](const QString &sendError) {
        if (!session->isOpen())
            flashEnded(flasher, QStringLiteral("lost"), ConsoleText::portLost());
        else if (!sendError.isEmpty())
            flashEnded(flasher, QStringLiteral("write"), ConsoleText::sendFailed(sendError));
        else
            flashEnded(flasher, QStringLiteral("interrupted"), QStringLiteral("stopped"));
    });
}

void MqttFeed::flashEnded(const FirmwareFlasher *flasher, const QString &reason, const QString &message)
{
    QJsonObject result { { QStringLiteral("status"), reason.isEmpty() ? QStringLiteral("done") : QStringLiteral("failed") },
                         { QStringLiteral("bytes_sent"), flasher->bytesSent() },
                         { QStringLiteral("total"), flasher->imageSize() },
                         { QStringLiteral("seconds"), double(m_flashClock.elapsed()) / 1000.0 } };
    if (!reason.isEmpty()) {
        result.insert(QStringLiteral("reason"), reason);
        result.insert(QStringLiteral("message"), message);
    }
    addEvent(QStringLiteral("result"), result);
}

// The protection's trip is bench-ctl's interlock; the other lines are a curve
// leaving its limits, coming back, and leaving them again and again.
void MqttFeed::addLimitEvents(const QList<LimitEvent> &events)
{
    for (const LimitEvent &event : events) {
        QJsonObject fields { { QStringLiteral("curve"), curveName(event.series) },
                             { QStringLiteral("sample"), event.sampleNumber },
                             { QStringLiteral("value"), Telemetry::rounded(event.value) } };
        if (event.kind == LimitEvent::Protection) {
            addEvent(QStringLiteral("interlock"), fields);
            continue;
        }
        fields.insert(QStringLiteral("status"), limitStatus(event.kind));
        addEvent(QStringLiteral("limit"), fields);
    }
}

void MqttFeed::addTrigger(const ChartTrigger::Settings &settings, const ChartTrigger::Capture &capture)
{
    addEvent(QStringLiteral("trigger"),
             { { QStringLiteral("curve"), curveName(settings.series) },
               { QStringLiteral("edge"), capture.edge == ChartTrigger::Edge::Falling ? QStringLiteral("falling")
                                                                                     : QStringLiteral("rising") },
               { QStringLiteral("level"), settings.level },
               { QStringLiteral("sample"), capture.triggerSample } });
}

void MqttFeed::addEvent(const QString &name, QJsonObject fields)
{
    if (!isPublishing())
        return;
    fields.insert(QStringLiteral("event"), name);
    fields.insert(QStringLiteral("port"), m_port);
    m_publisher->addEvent(fields);
}

// A topic level cannot hold a slash: a port known by its path goes by the path's last part.
QString MqttFeed::defaultBoardName(const QString &portName, const QString &serialNumber)
{
    return !serialNumber.isEmpty() ? serialNumber : QFileInfo(portName).fileName();
}
