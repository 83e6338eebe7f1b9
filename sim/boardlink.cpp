#include "boardlink.h"

#include "boardsimulator.h"
#include "ptypair.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

BoardLink::BoardLink(QObject *parent)
    : QObject(parent)
{
}

BoardLink::~BoardLink()
{
    close();
}

bool BoardLink::openPty()
{
    close();
    auto pty = std::make_unique<PtyPair>();
    if (!pty->isValid()) {
        m_errorString = QStringLiteral("cannot open a pty pair: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int fd = pty->masterFd();
    const QString slave = pty->slavePath();
    m_pty = std::move(pty);
    return setUp(fd, slave);
}

bool BoardLink::openDevice(const QString &path)
{
    close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_errorString = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    termios settings {};
    if (::tcgetattr(fd, &settings) != 0) {
        m_errorString = QStringLiteral("%1 is not a serial device: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    // VMIN stays 1 as cfmakeraw leaves it: with 0 an empty non-blocking read
    // returns 0 instead of EAGAIN, which would look like a hang-up.
    if (::cfsetispeed(&settings, B921600) != 0 || ::cfsetospeed(&settings, B921600) != 0
        || ::tcsetattr(fd, TCSANOW, &settings) != 0) {
        m_errorString = QStringLiteral("cannot set %1 to 921600 8N1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    // Whatever sat in the adapter from before is not for this session.
    ::tcflush(fd, TCIOFLUSH);
    m_ownsFd = true;
    return setUp(fd, path);
}

bool BoardLink::setUp(int fd, const QString &portName)
{
    m_fd = fd;
    m_portName = portName;
    m_errorString.clear();
    m_pending.clear();
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &BoardLink::readAvailable);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &BoardLink::writePending);
    return true;
}

void BoardLink::close()
{
    // close() may run inside a notifier's own activation, so the notifiers are
    // only switched off here and deleted once control is back in the loop.
    for (QSocketNotifier *notifier : { m_readNotifier, m_writeNotifier }) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    if (m_ownsFd && m_fd >= 0)
        ::close(m_fd);
    m_ownsFd = false;
    m_fd = -1;
    m_pty.reset();
    m_pending.clear();
}

qsizetype BoardLink::undeliveredBytes() const
{
    if (m_fd < 0)
        return m_pending.size();
    if (m_pty)
        return m_pending.size() + m_pty->unreadBytes();
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
        queued = 0;
    return m_pending.size() + queued;
}

bool BoardLink::isFarEndReady() const
{
    return !m_pty || m_pty->slaveConfigured();
}

void BoardLink::attach(BoardSimulator *simulator)
{
    connect(this, &BoardLink::bytesReceived, simulator, &BoardSimulator::receive);
    connect(simulator, &BoardSimulator::writeRequested, this, &BoardLink::write);
}

void BoardLink::write(const QByteArray &bytes)
{
    if (m_fd < 0 || bytes.isEmpty())
        return;
    if (m_pending.size() + bytes.size() > maxPendingBytes) {
        m_droppedBytes += bytes.size();
        emit bytesDropped(bytes.size());
        return;
    }
    const bool wasIdle = m_pending.isEmpty();
    m_pending += bytes;
    // Writing at once keeps the boundaries of the simulator's writes, which is
    // the point of its split and merge options.
    if (wasIdle)
        writePending();
}

void BoardLink::writePending()
{
    while (m_fd >= 0 && !m_pending.isEmpty()) {
        const ssize_t written = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
        if (written > 0) {
            m_pending.remove(0, written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(QStringLiteral("write failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        break;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

void BoardLink::readAvailable()
{
    QByteArray received;
    char buffer[4096];
    while (m_fd >= 0) {
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        if (count > 0) {
            received.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of file, or EIO from a device that went away.
        if (!received.isEmpty())
            emit bytesReceived(received);
        fail(count == 0 ? QStringLiteral("the line was hung up")
                        : QStringLiteral("read failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    if (!received.isEmpty())
        emit bytesReceived(received);
}

void BoardLink::fail(const QString &reason)
{
    m_errorString = reason;
    close();
    emit disconnected(reason);
}
