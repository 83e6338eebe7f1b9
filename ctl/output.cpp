#include "output.h"

#include <QJsonDocument>

void Output::write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void Output::event(const QString &name, const QJsonObject &fields) const
{
    if (!m_json)
        return;
    QJsonObject object = fields;
    object.insert(QStringLiteral("event"), name);
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    line += '\n';
    std::FILE *stream = m_dataOnStdout ? stderr : stdout;
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}

void Output::info(const QString &line) const
{
    if (!m_json && !m_quiet)
        write(humanStream(), line + u'\n');
}

void Output::problem(const QString &line) const
{
    if (m_json)
        event(QStringLiteral("error"), { { QStringLiteral("message"), line } });
    else
        write(stderr, line + u'\n');
}
