#ifndef BOARDPUBLISHERS_H
#define BOARDPUBLISHERS_H

#include "commandline.h"

#include "link/mqttpublisher.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

class BoardPort;
class Output;

// A command's boards on an MQTT broker, one publisher per port given with -p:
// each board's telemetry and text, and every event the command says, to the
// publisher of the port it names or, naming none, to all. Nothing here waits on
// the broker, and what the publishers tell goes to standard error, so that a
// broker that is down changes neither the outcome nor the files. Without --mqtt
// it publishes nothing.
class BoardPublishers : public QObject
{
    Q_OBJECT

public:
    BoardPublishers(Output &output, const MqttOptions &options, const QStringList &ports);
    // Stops every publisher, as stop() does.
    ~BoardPublishers() override;

    // From now on what the board sends is published, and its line is up while the
    // port is open.
    void attach(BoardPort &port);
    // Leaves "offline" with every broker, once the command has said its last.
    void stop();

private:
    void route(const QJsonObject &event);

    QHash<QString, MqttPublisher *> m_publishers; // children, by the port's name as given
};

#endif // BOARDPUBLISHERS_H
