#include "mqttpublisher.h"

#include "core/mqtturl.h"
#include "link/mqttclientthread.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimer>

#include <mosquitto.h>

#include <mutex>
#include <utility>

namespace {

constexpr qint64 batchSpanUs = 100000;
constexpr int batchSpanMs = 100;
constexpr qsizetype textPieceBytes = 4096;
// A client that cannot even be told to stop (a connect() stuck on an unreachable
// host) is left to end on its own rather than hold up the program.
constexpr int stopWaitMs = 2000;

QString failureLine(const QString &reason)
{
    return QCoreApplication::translate("MainWindow", "MQTT 连接失败: %1").arg(reason);
}

} // namespace

MqttPublisher::MqttPublisher(QObject *parent) : QObject(parent), m_batchTimer(new QTimer(this))
{
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(batchSpanMs);
    connect(m_batchTimer, &QTimer::timeout, this, &MqttPublisher::sendBatch);
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

QString MqttPublisher::check(const Settings &settings)
{
    QString why;
    const std::optional<MqttUrl> url = MqttUrl::parse(settings.url, &why);
    if (!url)
        return why;
    if (settings.board.isEmpty())
        return QCoreApplication::translate("MainWindow", "MQTT 板名不能为空");
    if (settings.board.contains(QLatin1Char('+')) || settings.board.contains(QLatin1Char('#')))
        return QCoreApplication::translate("MainWindow", "MQTT 板名不能含 + 或 #: %1").arg(settings.board);
    if (url->tls && !settings.caFile.isEmpty()) {
        const QFileInfo caFile(settings.caFile);
        if (!caFile.isFile() || !caFile.isReadable())
            return QCoreApplication::translate("MainWindow", "无法读取 CA 证书文件: %1").arg(settings.caFile);
    }
    return {};
}

bool MqttPublisher::start(const Settings &settings)
{
    stop();
    if (!check(settings).isEmpty())
        return false;
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });

    const MqttUrl url = *MqttUrl::parse(settings.url, nullptr);
    m_brokerText = url.toString();
    m_failureSaid = false;
    m_connectedBefore = false;
    m_client = std::make_unique<MqttClientThread>(
        MqttClientThread::Connection{ url, settings.board, settings.password, settings.caFile }, m_telemetryLimitMs);
    m_client->setOnline(m_lineUp);
    connect(m_client.get(), &MqttClientThread::stateReported, this, &MqttPublisher::onClientState);
    setState(State::Connecting);
    m_client->start();
    return true;
}

void MqttPublisher::stop()
{
    if (!m_client)
        return;
    sendBatch();
    m_client->disconnect(this);
    m_client->requestStop();
    if (!m_client->wait(stopWaitMs)) {
        MqttClientThread *const stuck = m_client.release();
        connect(stuck, &QThread::finished, stuck, &QObject::deleteLater);
        // It may have ended just before the connection was made.
        if (stuck->isFinished())
            stuck->deleteLater();
    }
    m_client.reset();
    m_brokerText.clear();
    setState(State::Off);
}

QString MqttPublisher::brokerText() const
{
    return m_brokerText;
}

void MqttPublisher::setLineUp(bool up)
{
    m_lineUp = up;
    if (m_client)
        m_client->setOnline(up);
}

void MqttPublisher::addSample(qint64 sample, qint64 timestampUs, const Telemetry::Sample &values)
{
    if (!accepting())
        return;
    if (!m_batch.isEmpty() && timestampUs - m_batch.firstTimestampUs() >= batchSpanUs)
        sendBatch();
    if (!m_batch.append(sample, timestampUs, values)) {
        sendBatch();
        m_batch.append(sample, timestampUs, values);
    }
    if (m_batch.isFull())
        sendBatch();
    else if (!m_batchTimer->isActive())
        m_batchTimer->start();
}

void MqttPublisher::addText(const QByteArray &bytes)
{
    if (!accepting())
        return;
    for (qsizetype at = 0; at < bytes.size(); at += textPieceBytes)
        m_client->enqueueText(bytes.mid(at, textPieceBytes));
}

void MqttPublisher::addEvent(const QJsonObject &event)
{
    if (accepting())
        m_client->enqueueEvent(QJsonDocument(event).toJson(QJsonDocument::Compact));
}

void MqttPublisher::setTelemetryQueueLimitMs(qint64 limitMs)
{
    m_telemetryLimitMs = limitMs;
    if (m_client)
        m_client->setTelemetryLimitMs(limitMs);
}

bool MqttPublisher::accepting() const
{
    // A refused publisher has nobody to send to until it is started again.
    return m_client && m_state != State::Failed;
}

void MqttPublisher::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void MqttPublisher::onClientState(MqttPublisher::State state, const QString &reason, qint64 droppedSamples)
{
    switch (state) {
    case State::Connected:
        if (m_connectedBefore || m_failureSaid)
            emit message(QCoreApplication::translate("MainWindow", "MQTT 已重新连接, 断开期间丢弃了 %1 个样本")
                             .arg(droppedSamples));
        m_connectedBefore = true;
        m_failureSaid = false;
        break;
    case State::Reconnecting:
        if (!reason.isEmpty() && !m_failureSaid) {
            emit message(failureLine(reason));
            m_failureSaid = true;
        }
        break;
    case State::Failed:
        emit message(QCoreApplication::translate("MainWindow", "MQTT 连接失败: %1, 不再重试").arg(reason));
        break;
    case State::Off:
    case State::Connecting:
        break;
    }
    setState(state);
}

void MqttPublisher::sendBatch()
{
    m_batchTimer->stop();
    if (m_batch.isEmpty() || !m_client)
        return;
    m_client->enqueueTelemetry(std::exchange(m_batch, {}));
}
