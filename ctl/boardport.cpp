#include "boardport.h"

#include "core/consoletext.h"
#include "platform.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QSet>

BoardPort::BoardPort(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_session(&m_port, &m_ports)
{
    connect(&m_port, &QSerialPort::readyRead, &m_session, &BoardSession::receive);
    connect(&m_session, &BoardSession::openFailed, this, [this](const QString &, const QString &reason) {
        m_openFailure = ConsoleText::portOpenFailed() + QStringLiteral(": ") + reason;
    });
    connect(&m_session, &BoardSession::lost, this, [this] {
        m_lost = true;
        emit lost();
    });
}

QString BoardPort::checkArguments(const QStringList &names)
{
    QSet<QString> seen;
    for (const QString &name : names) {
        const QFileInfo info(Platform::systemLocation(name));
        if (info.isDir())
            return QStringLiteral("%1 is a folder, not a serial port").arg(name);
        if (info.isFile())
            return QStringLiteral("%1 is a regular file, not a serial port").arg(name);
        const QString identity = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
        if (seen.contains(identity))
            return QStringLiteral("%1 is given twice: one port is flashed, sent to or read by one board at a time")
                .arg(name);
        seen.insert(identity);
    }
    return {};
}

bool BoardPort::open()
{
    m_session.open(m_name);
    return m_port.isOpen();
}

QString BoardPort::send(const QByteArray &bytes)
{
    if (!m_session.isOpen())
        return m_lost ? ConsoleText::portLost() : ConsoleText::portNotOpen();
    if (bytes.isEmpty())
        return {};
    QString error;
    QEventLoop loop;
    SerialWriter *const writer = m_session.writer();
    connect(writer, &SerialWriter::drained, &loop, &QEventLoop::quit);
    connect(writer, &SerialWriter::failed, &loop, [&error, &loop](const QString &reason) {
        error = reason;
        loop.quit();
    });
    connect(this, &BoardPort::lost, &loop, &QEventLoop::quit);
    m_session.send(bytes);
    if (error.isEmpty() && !m_lost)
        loop.exec();
    if (m_lost)
        return ConsoleText::portLost();
    return error.isEmpty() ? QString() : ConsoleText::sendFailed(error);
}

void BoardPort::close()
{
    QEventLoop loop;
    connect(&m_session, &BoardSession::closed, &loop, &QEventLoop::quit);
    m_session.close();
    if (m_session.isClosing())
        loop.exec();
}
