#ifndef MQTTURL_H
#define MQTTURL_H

#include <QString>

#include <optional>

// A broker as the user writes it: mqtt://[user@]host[:port]/prefix, or mqtts://
// for TLS. The prefix is the topic the board's own level goes under, so it may
// hold levels of its own ("lab/bench3") but no wildcard.
struct MqttUrl
{
    static constexpr int defaultPort = 1883;
    static constexpr int defaultTlsPort = 8883;

    bool tls = false;
    QString user;
    QString host;
    int port = defaultPort;
    QString prefix;

    // Nothing, with the line saying what is wrong in *why, for text that is not
    // a broker's URL.
    static std::optional<MqttUrl> parse(const QString &text, QString *why);

    // The URL again, with no password, as the status bar shows it.
    QString toString() const;
    // The topic of one kind of message ("telemetry", "text", "event", "status").
    QString topic(const QString &board, const char *kind) const;
};

#endif // MQTTURL_H
