#include "link/portreconnect.h"

#include "link/portlock.h"
#include "link/portregistry.h"

#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>

namespace {

// The folder where the platform makes a node for every device that arrives, and
// the time it last changed; invalid where there is no such folder, and then the
// ports are listed on every check.
QDateTime deviceFolderTime()
{
#ifdef Q_OS_UNIX
    return QFileInfo(QStringLiteral("/dev")).lastModified();
#else
    return {};
#endif
}

} // namespace

PortReconnect::PortReconnect(QSerialPort *port, const PortRegistry *ports, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_ports(ports)
{
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PortReconnect::check);
}

void PortReconnect::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        cancel();
}

void PortReconnect::portOpened(const QString &portName)
{
    m_identity = m_ports->identityOf(portName);
}

void PortReconnect::portLost()
{
    if (!wouldWatch())
        return;
    m_toldFailure.clear();
    m_checksToRelist = 0;
    m_deviceFolderTime = {};
    m_timer.start();
}

void PortReconnect::cancel()
{
    m_timer.stop();
}

void PortReconnect::check()
{
    const std::optional<PortRecord> back = m_identity.findIn(platformPorts() + m_ports->presentExtraPorts());
    if (!back) {
        // Gone again: a later return is news, and so is its failure.
        m_toldFailure.clear();
        return;
    }
    m_port->setPortName(back->portName);
    // Another program may have taken the board while it was away.
    const PortLock::OpenResult result = PortLock::openExclusive(m_port);
    if (result == PortLock::Opened) {
        m_timer.stop();
        emit reconnected(back->portName);
        return;
    }
    const QString reason = PortLock::failureReason(result, *m_port);
    if (reason != m_toldFailure) {
        m_toldFailure = reason;
        emit reopenFailed(reason);
    }
}

QList<PortRecord> PortReconnect::platformPorts()
{
    const QDateTime folderTime = deviceFolderTime();
    if (!folderTime.isValid() || folderTime != m_deviceFolderTime) {
        m_deviceFolderTime = folderTime;
        m_checksToRelist = relistChecksAfterChange;
    }
    if (m_checksToRelist > 0 || m_checksToRelist <= -relistEveryChecks) {
        m_platformPorts = PortRegistry::platformPorts();
        m_checksToRelist = std::max(m_checksToRelist, 1);
    }
    --m_checksToRelist;
    return m_platformPorts;
}
