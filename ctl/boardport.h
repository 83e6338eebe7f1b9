#ifndef BOARDPORT_H
#define BOARDPORT_H

#include "link/boardsession.h"
#include "link/portregistry.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>

// One board's port for a script: the console's session over a port of its own,
// waited on where a script waits (a send that has left, a close that is over).
class BoardPort : public QObject
{
    Q_OBJECT

public:
    explicit BoardPort(const QString &name, QObject *parent = nullptr);

    // Why these port arguments cannot be used, before any is opened: a path that is
    // a regular file or a folder rather than a device, or one port named twice (also
    // through a symbolic link). Empty when they can.
    static QString checkArguments(const QStringList &names);

    bool open();
    QString name() const { return m_name; }
    // The window's line and reason when open() failed.
    QString openFailure() const { return m_openFailure; }
    bool isLost() const { return m_lost; }
    BoardSession &session() { return m_session; }

    // Sends bytes as the window does, and runs the event loop until they have left
    // or failed; the line saying why when they did not go out.
    QString send(const QByteArray &bytes);
    // Lets what was given reach the line, then closes.
    void close();

signals:
    void lost();

private:
    const QString m_name;
    QSerialPort m_port;
    // A script names its port; no other port is listed, and none is reconnected.
    const PortRegistry m_ports;
    BoardSession m_session;
    QString m_openFailure;
    bool m_lost = false;
};

#endif // BOARDPORT_H
