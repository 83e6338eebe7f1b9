#include "output.h"

#include <QJsonDocument>

bool Output::write(std::FILE *stream, const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size())
        && std::fflush(stream) == 0;
}

void Output::put(const QByteArray &bytes)
{
    std::FILE *const target = stream();
    if (write(target, bytes) || target != stdout)
        return;
    m_stdoutClosed = true;
    write(stderr, bytes);
    emit standardOutputClosed();
}

void Output::event(const QString &name, const QJsonObject &fields)
{
    QJsonObject object = fields;
    object.insert(QStringLiteral("event"), name);
    emit eventSaid(object);
    if (m_json)
        put(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void Output::info(const QString &line)
{
    if (!m_json && !m_quiet)
        put((line + u'\n').toLocal8Bit());
}

void Output::problem(const QString &line)
{
    event(QStringLiteral("error"), { { QStringLiteral("message"), line } });
    if (!m_json)
        write(stderr, (line + u'\n').toLocal8Bit());
}

QJsonObject readingsJson(const Telemetry::Sample &values, int decimals)
{
    QJsonObject object;
    for (int i = 0; i < Telemetry::seriesCount; ++i)
        object.insert(QLatin1String(Telemetry::seriesNames[size_t(i)]), Telemetry::rounded(values[size_t(i)], decimals));
    return object;
}
