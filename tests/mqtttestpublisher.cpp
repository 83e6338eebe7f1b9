// A program that publishes to a broker until it is killed, so that a test can see
// the broker say "offline" for it: mqtt-test-publisher URL BOARD [CA-FILE], the
// password from BENCH_MQTT_PASSWORD. It prints "connected" once it is.

#include "link/mqttpublisher.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        return 2;
    MqttPublisher publisher;
    QObject::connect(&publisher, &MqttPublisher::stateChanged, &publisher, [](MqttPublisher::State state) {
        if (state == MqttPublisher::State::Connected)
            QTextStream(stdout) << "connected" << Qt::endl;
    });
    QObject::connect(&publisher, &MqttPublisher::message, &publisher,
                     [](const QString &line) { QTextStream(stderr) << line << Qt::endl; });
    if (!publisher.start({ arguments.at(1), arguments.at(2), qEnvironmentVariable("BENCH_MQTT_PASSWORD"),
                           arguments.value(3) }))
        return 2;
    return application.exec();
}
