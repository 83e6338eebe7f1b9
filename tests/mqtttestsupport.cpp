#include "mqtttestsupport.h"

#include "coretestsupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>

#include <mosquitto.h>

#include <unistd.h>

namespace TestSupport {

namespace {

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

bool listens(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    return socket.waitForConnected(200);
}

} // namespace

TestBroker::TestBroker() : TestBroker(Options()) {}

TestBroker::TestBroker(const Options &options) : m_options(options)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

TestBroker::~TestBroker()
{
    stop();
}

QString TestBroker::host() const
{
    return m_options.tls ? m_options.certificateHost : QStringLiteral("127.0.0.1");
}

QString TestBroker::caFile() const
{
    return m_dir.filePath(QStringLiteral("ca.crt"));
}

QString TestBroker::url(const QString &prefix) const
{
    const QString user = m_options.user.isEmpty() ? QString() : m_options.user + QLatin1Char('@');
    return QStringLiteral("%1://%2%3:%4/%5")
        .arg(m_options.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), user, host())
        .arg(m_port)
        .arg(prefix);
}

bool TestBroker::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = program + QLatin1String(": ") + QString::fromLocal8Bit(process.readAll()) + process.errorString();
        return false;
    }
    return true;
}

bool TestBroker::prepare()
{
    if (m_prepared)
        return true;
    if (!m_dir.isValid() || (m_port = freePort()) == 0) {
        m_error = QStringLiteral("no temporary folder or free port");
        return false;
    }
    QByteArray config = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n"
                        "persistence true\n"
                        "persistence_location " + m_dir.path().toLocal8Bit() + "/\n"
                        "queue_qos0_messages true\n"
                        "max_queued_messages 0\n"
                        "max_inflight_messages 0\n";
    // Run as root, mosquitto would become a user that cannot read the temporary folder.
    if (getuid() == 0)
        config += "user root\n";
    if (!m_options.user.isEmpty()) {
        const QString passwordFile = m_dir.filePath(QStringLiteral("passwords"));
        if (!run(QStringLiteral(MOSQUITTO_PASSWD_PROGRAM),
                 { QStringLiteral("-b"), QStringLiteral("-c"), passwordFile, m_options.user, m_options.password }))
            return false;
        config += "allow_anonymous false\npassword_file " + passwordFile.toLocal8Bit() + "\n";
    } else {
        config += "allow_anonymous true\n";
    }
    if (m_options.tls) {
        const QString extensions = m_dir.filePath(QStringLiteral("server.ext"));
        if (!writeFile(extensions, "subjectAltName=DNS:" + m_options.certificateHost.toUtf8()
                                       + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"))
            return false;
        const QStringList ecKey = { QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes") };
        if (!run(QStringLiteral(OPENSSL_PROGRAM),
                 QStringList{ QStringLiteral("req"), QStringLiteral("-x509") } + ecKey
                     + QStringList{ QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("ca.key")),
                                    QStringLiteral("-out"), caFile(), QStringLiteral("-days"), QStringLiteral("2"),
                                    QStringLiteral("-subj"), QStringLiteral("/CN=Bench Test CA") })
            || !run(QStringLiteral(OPENSSL_PROGRAM),
                    QStringList{ QStringLiteral("req") } + ecKey
                        + QStringList{ QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("server.key")),
                                       QStringLiteral("-out"), m_dir.filePath(QStringLiteral("server.csr")),
                                       QStringLiteral("-subj"), QLatin1String("/CN=") + m_options.certificateHost })
            || !run(QStringLiteral(OPENSSL_PROGRAM),
                    { QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                      m_dir.filePath(QStringLiteral("server.csr")), QStringLiteral("-CA"), caFile(),
                      QStringLiteral("-CAkey"), m_dir.filePath(QStringLiteral("ca.key")),
                      QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                      m_dir.filePath(QStringLiteral("server.crt")), QStringLiteral("-days"), QStringLiteral("2"),
                      QStringLiteral("-extfile"), extensions }))
            return false;
        config += "cafile " + caFile().toLocal8Bit() + "\ncertfile "
                  + m_dir.filePath(QStringLiteral("server.crt")).toLocal8Bit() + "\nkeyfile "
                  + m_dir.filePath(QStringLiteral("server.key")).toLocal8Bit() + "\n";
    }
    if (!writeFile(m_dir.filePath(QStringLiteral("mosquitto.conf")), config))
        return false;
    m_prepared = true;
    return true;
}

bool TestBroker::start()
{
    if (isRunning())
        return true;
    if (!prepare())
        return false;
    m_process.start(QStringLiteral(MOSQUITTO_PROGRAM), { QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf")) });
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!listens(m_port)) {
        if (!isRunning() || deadline.hasExpired()) {
            m_error = QString::fromLocal8Bit(m_process.readAll());
            stop();
            return false;
        }
        m_process.waitForReadyRead(50);
    }
    return true;
}

void TestBroker::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

TestSubscriber::TestSubscriber(const TestBroker &broker, const QString &topicFilter) : m_filter(topicFilter.toUtf8())
{
    mosquitto_lib_init();
    const QByteArray id = "subscriber-" + QUuid::createUuid().toByteArray(QUuid::Id128).left(16);
    m_client = mosquitto_new(id.constData(), false, this);
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, onConnect);
    mosquitto_subscribe_callback_set(m_client, onSubscribe);
    mosquitto_message_callback_set(m_client, onMessage);
    if (!broker.options().user.isEmpty()) {
        mosquitto_username_pw_set(m_client, broker.options().user.toUtf8().constData(),
                                  broker.options().password.toUtf8().constData());
    }
    if (broker.options().tls)
        mosquitto_tls_set(m_client, broker.caFile().toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect_async(m_client, broker.host().toUtf8().constData(), broker.port(), 10);
    mosquitto_loop_start(m_client);
}

TestSubscriber::~TestSubscriber()
{
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    mosquitto_destroy(m_client);
    mosquitto_lib_cleanup();
}

bool TestSubscriber::waitUntilSubscribed(int timeoutMs)
{
    return processEventsUntil([this] { return subscriptions() > 0; }, timeoutMs);
}

QList<TestSubscriber::Message> TestSubscriber::messages(const QString &topicSuffix) const
{
    const QMutexLocker locker(&m_mutex);
    if (topicSuffix.isEmpty())
        return m_messages;
    QList<Message> matching;
    for (const Message &message : m_messages) {
        if (message.topic.endsWith(topicSuffix))
            matching.append(message);
    }
    return matching;
}

int TestSubscriber::subscriptions() const
{
    const QMutexLocker locker(&m_mutex);
    return m_subscriptions;
}

void TestSubscriber::onConnect(mosquitto *client, void *self, int result)
{
    if (result == 0)
        mosquitto_subscribe(client, nullptr, static_cast<TestSubscriber *>(self)->m_filter.constData(), 1);
}

void TestSubscriber::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    auto *subscriber = static_cast<TestSubscriber *>(self);
    const QMutexLocker locker(&subscriber->m_mutex);
    ++subscriber->m_subscriptions;
}

void TestSubscriber::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *subscriber = static_cast<TestSubscriber *>(self);
    const QMutexLocker locker(&subscriber->m_mutex);
    subscriber->m_messages.append({ QString::fromUtf8(message->topic),
                                    QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                                    message->retain });
}

QList<PublishedSample> publishedSamples(const QList<TestSubscriber::Message> &messages)
{
    QList<PublishedSample> samples;
    for (const TestSubscriber::Message &message : messages) {
        const QJsonObject object = QJsonDocument::fromJson(message.payload).object();
        const QJsonArray times = object.value(QLatin1String("timestamp_us")).toArray();
        std::array<QJsonArray, Telemetry::seriesCount> curves;
        bool whole = object.value(QLatin1String("sample")).isDouble() && !times.isEmpty();
        for (int series = 0; series < Telemetry::seriesCount; ++series) {
            curves[series] = object.value(QLatin1String(Telemetry::seriesNames[series])).toArray();
            whole = whole && curves[series].size() == times.size();
        }
        if (!whole) {
            qWarning() << "not a telemetry message:" << message.topic << message.payload.left(200);
            return samples;
        }
        const qint64 first = object.value(QLatin1String("sample")).toInteger();
        for (qsizetype i = 0; i < times.size(); ++i) {
            PublishedSample sample{ first + i, times.at(i).toInteger(), {} };
            for (int series = 0; series < Telemetry::seriesCount; ++series)
                sample.values[series] = curves[series].at(i).toDouble();
            samples.append(sample);
        }
    }
    return samples;
}

} // namespace TestSupport
