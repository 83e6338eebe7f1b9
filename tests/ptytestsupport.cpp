#include "ptytestsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool TestPty::writeMaster(const QByteArray &bytes)
{
    qsizetype done = 0;
    QElapsedTimer timer;
    timer.start();
    while (masterFd() >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(masterFd(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (timer.elapsed() > 5000)
            return false;
        pollfd pfd { masterFd(), POLLOUT, 0 };
        ::poll(&pfd, 1, 10);
    }
    return done == bytes.size();
}

// The pty moves what it took on to its other side a little later, which makes
// room again: it is full once it stays so.
qsizetype TestPty::fillSlaveDriver(char filler)
{
    const int fd = ::open(QFile::encodeName(slavePath()).constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    const QByteArray piece(4096, filler);
    qsizetype written = 0;
    bool full = true;
    pollfd writable { fd, POLLOUT, 0 };
    do {
        for (ssize_t n = 0; (n = ::write(fd, piece.constData(), size_t(piece.size()))) > 0;)
            written += n;
        full = errno == EAGAIN || errno == EWOULDBLOCK;
    } while (full && ::poll(&writable, 1, 100) == 1);
    ::close(fd);
    return full ? written : -1;
}

QByteArray readAvailable(int fd, int timeoutMs)
{
    QByteArray out;
    pollfd pfd { fd, POLLIN, 0 };
    if (fd < 0 || ::poll(&pfd, 1, timeoutMs) <= 0)
        return out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

QByteArray readExactly(int fd, qsizetype count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (out.size() < count) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            break;
        out += readAvailable(fd, int(left));
    }
    return out;
}

QByteArray TestPty::readMaster(int timeoutMs)
{
    return readAvailable(masterFd(), timeoutMs);
}

QByteArray TestPty::readMasterWhileRunning(qsizetype count, int timeoutMs)
{
    QByteArray out;
    const QDeadlineTimer deadline(timeoutMs);
    // The tick bounds each wait for events, so the master is looked at often.
    QTimer tick;
    tick.start(1);
    while (out.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        out += readMaster(0);
    }
    return out;
}

QByteArray TestPty::readMasterExactly(qsizetype count, int timeoutMs)
{
    return readExactly(masterFd(), count, timeoutMs);
}

DrainingBoard::DrainingBoard(PtyPair &pty, qsizetype unplugAfter)
    : m_thread([this, &pty, unplugAfter] {
          char buffer[4096];
          while (!m_stop) {
              pollfd pfd { pty.masterFd(), POLLIN, 0 };
              if (::poll(&pfd, 1, 20) <= 0)
                  continue;
              const ssize_t n = ::read(pty.masterFd(), buffer, sizeof buffer);
              if (n > 0)
                  m_received += n;
              if (unplugAfter >= 0 && m_received >= unplugAfter)
                  return pty.closeMaster();
          }
      })
{
}

qsizetype DrainingBoard::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    return m_received;
}
