#include "boardpublishers.h"

#include "boardport.h"
#include "output.h"

#include "link/portregistry.h"

BoardPublishers::BoardPublishers(Output &output, const MqttOptions &options, const QStringList &ports)
{
    if (!options.isSet())
        return;
    const QList<PortRecord> listed = PortRegistry::platformPorts();
    for (const QString &port : ports) {
        auto *const publisher = new MqttPublisher(this);
        connect(publisher, &MqttPublisher::message, this, [port](const QString &line) {
            Output::write(stderr, QStringLiteral("%1: %2\n").arg(port, line).toLocal8Bit());
        });
        // Not up until its port opens.
        publisher->setLineUp(false);
        publisher->start(options.settingsFor(port, listed));
        m_publishers.insert(port, publisher);
    }
    connect(&output, &Output::eventSaid, this, &BoardPublishers::route);
}

BoardPublishers::~BoardPublishers()
{
    stop();
}

void BoardPublishers::attach(BoardPort &port)
{
    MqttPublisher *const publisher = m_publishers.value(port.name());
    if (!publisher)
        return;
    // Numbered from 0, as the CSV numbers them; stamped as the CSV's rows are.
    connect(&port, &BoardPort::frameReceived, publisher,
            [publisher, sample = qint64(0)](const Telemetry::Sample &values, const QDateTime &at) mutable {
                publisher->addSample(sample++, at.toMSecsSinceEpoch() * 1000, values);
            });
    connect(&port, &BoardPort::textReceived, publisher, [publisher](const QString &text) { publisher->addText(text.toUtf8()); });
    BoardSession *const session = &port.session();
    connect(session, &BoardSession::opened, publisher, [publisher] { publisher->setLineUp(true); });
    connect(session, &BoardSession::reconnected, publisher, [publisher] { publisher->setLineUp(true); });
    connect(session, &BoardSession::lost, publisher, [publisher] { publisher->setLineUp(false); });
    connect(session, &BoardSession::closed, publisher, [publisher] { publisher->setLineUp(false); });
    publisher->setLineUp(session->isOpen());
}

void BoardPublishers::stop()
{
    for (MqttPublisher *const publisher : std::as_const(m_publishers))
        publisher->stop();
}

void BoardPublishers::route(const QJsonObject &event)
{
    // A monitor's readings and text events repeat what the telemetry and text
    // topics carry, at the frames' rate.
    const QString name = event.value(QStringLiteral("event")).toString();
    if (name == QLatin1String("telemetry") || name == QLatin1String("text"))
        return;
    if (MqttPublisher *const publisher = m_publishers.value(event.value(QStringLiteral("port")).toString())) {
        publisher->addEvent(event);
        return;
    }
    for (MqttPublisher *const publisher : std::as_const(m_publishers))
        publisher->addEvent(event);
}
