#include "mqtturl.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>

namespace {

QString refused(const QString &reason)
{
    return QCoreApplication::translate("MainWindow", "MQTT 地址无效: %1").arg(reason);
}

} // namespace

std::optional<MqttUrl> MqttUrl::parse(const QString &text, QString *why)
{
    const auto fail = [why](const QString &reason) {
        if (why)
            *why = refused(reason);
        return std::nullopt;
    };
    // Read by hand rather than through QUrl, which takes a # for a fragment and a
    // port it cannot hold for none, where the user wants to hear what is wrong.
    static const QRegularExpression form(QStringLiteral(
        R"(^([A-Za-z][A-Za-z0-9+.-]*)://(?:([^@/]*)@)?(\[[^\]/]*\]|[^:/\[\]]*)(?::([^/]*))?(?:/(.*))?$)"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return fail(QCoreApplication::translate("MainWindow", "应为 mqtt://[用户@]主机[:端口]/前缀 或 mqtts://…"));
    MqttUrl parsed;
    const QString scheme = match.captured(1).toLower();
    if (scheme == QLatin1String("mqtts"))
        parsed.tls = true;
    else if (scheme != QLatin1String("mqtt"))
        return fail(QCoreApplication::translate("MainWindow", "未知的协议 %1, 应为 mqtt 或 mqtts").arg(scheme));
    const QString user = QUrl::fromPercentEncoding(match.captured(2).toUtf8());
    // The password never goes in the URL: it would stay in shell histories and
    // the settings file in clear.
    if (user.contains(QLatin1Char(':')))
        return fail(QCoreApplication::translate("MainWindow", "密码不能写在地址里, 请用 BENCH_MQTT_PASSWORD"));
    parsed.user = user;
    parsed.host = match.captured(3);
    if (parsed.host.startsWith(QLatin1Char('[')))
        parsed.host = parsed.host.mid(1, parsed.host.size() - 2);
    if (parsed.host.isEmpty())
        return fail(QCoreApplication::translate("MainWindow", "缺少主机"));
    if (match.capturedStart(4) >= 0) {
        bool isNumber = false;
        const int port = match.captured(4).toInt(&isNumber);
        if (!isNumber || port < 1 || port > 65535)
            return fail(QCoreApplication::translate("MainWindow", "端口须为 1 到 65535 的整数"));
        parsed.port = port;
    } else {
        parsed.port = parsed.tls ? defaultTlsPort : defaultPort;
    }
    parsed.prefix = match.captured(5);
    while (parsed.prefix.endsWith(QLatin1Char('/')))
        parsed.prefix.chop(1);
    if (parsed.prefix.isEmpty())
        return fail(QCoreApplication::translate("MainWindow", "缺少主题前缀"));
    if (parsed.prefix.contains(QLatin1Char('+')) || parsed.prefix.contains(QLatin1Char('#')))
        return fail(QCoreApplication::translate("MainWindow", "主题前缀不能含 + 或 #"));
    return parsed;
}

QString MqttUrl::toString() const
{
    QUrl url;
    url.setScheme(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"));
    url.setUserName(user);
    url.setHost(host);
    url.setPort(port);
    url.setPath(QLatin1Char('/') + prefix);
    return url.toString();
}

QString MqttUrl::topic(const QString &board, const char *kind) const
{
    return prefix + QLatin1Char('/') + board + QLatin1Char('/') + QLatin1String(kind);
}
