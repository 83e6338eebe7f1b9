#ifndef MQTTTESTSUPPORT_H
#define MQTTTESTSUPPORT_H

#include "core/telemetry.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

struct mosquitto;
struct mosquitto_message;

namespace TestSupport {

// A mosquitto broker of the test's own on 127.0.0.1 and a free port, its
// configuration, password file and certificates in a temporary folder. It keeps
// its sessions across stop() and start(), so that a subscriber misses nothing
// the broker took while it was reconnecting.
class TestBroker
{
public:
    struct Options
    {
        // Both set: only this login is let in.
        QString user;
        QString password;
        // TLS with a CA made for the test and a server certificate for this host.
        bool tls = false;
        QString certificateHost = QStringLiteral("localhost");
    };

    TestBroker();
    explicit TestBroker(const Options &options);
    ~TestBroker();
    TestBroker(const TestBroker &) = delete;
    TestBroker &operator=(const TestBroker &) = delete;

    // Starts the broker (again, on the same port) and waits until it listens;
    // false, with errorString() saying why, when it does not.
    bool start();
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    const Options &options() const { return m_options; }
    int port() const { return m_port; }
    // The host clients are to name: the certificate's for TLS.
    QString host() const;
    // The CA certificate to trust, for TLS.
    QString caFile() const;
    // mqtt[s]://[user@]host:port/prefix
    QString url(const QString &prefix) const;
    QString errorString() const { return m_error; }

private:
    bool prepare();
    bool run(const QString &program, const QStringList &arguments);

    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_prepared = false;
    QString m_error;
};

// Subscribes to a topic filter on a TestBroker, with a persistent session at QoS 1,
// and keeps every message in arrival order. It reconnects by itself.
class TestSubscriber
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retained = false;
    };

    TestSubscriber(const TestBroker &broker, const QString &topicFilter);
    ~TestSubscriber();
    TestSubscriber(const TestSubscriber &) = delete;
    TestSubscriber &operator=(const TestSubscriber &) = delete;

    // Whether the broker has confirmed the subscription, after waiting up to timeoutMs.
    bool waitUntilSubscribed(int timeoutMs = 5000);
    // Every message so far; with a suffix, those whose topic ends with it ("/telemetry").
    QList<Message> messages(const QString &topicSuffix = {}) const;
    int subscriptions() const;

private:
    static void onConnect(mosquitto *client, void *self, int result);
    static void onSubscribe(mosquitto *client, void *self, int messageId, int count, const int *grantedQos);
    static void onMessage(mosquitto *client, void *self, const struct mosquitto_message *message);

    const QByteArray m_filter;
    mosquitto *m_client = nullptr;
    mutable QMutex m_mutex;
    QList<Message> m_messages;
    int m_subscriptions = 0;
};

// One sample as a telemetry message carries it.
struct PublishedSample
{
    qint64 sample = 0;
    qint64 timestampUs = 0;
    Telemetry::Sample values = {};
};

// The samples of telemetry messages in the order they came; what a payload holds
// that is not a telemetry object, or arrays of unequal length, ends the list
// with a warning.
QList<PublishedSample> publishedSamples(const QList<TestSubscriber::Message> &messages);

} // namespace TestSupport

#endif // MQTTTESTSUPPORT_H
