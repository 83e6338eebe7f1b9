#include "ptypair.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;

    // Raw mode on the slave so that no byte is translated or swallowed by the
    // line discipline before the console reads it.
    termios settings {};
    if (::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    m_masterFd = master;
    // Keeping a slave descriptor open stops the master from seeing a hang-up
    // between two opens of the slave by the console.
    m_slaveFd = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool PtyPair::writeMaster(const QByteArray &bytes)
{
    qsizetype done = 0;
    QElapsedTimer timer;
    timer.start();
    while (m_masterFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (timer.elapsed() > 5000)
            return false;
        pollfd pfd { m_masterFd, POLLOUT, 0 };
        ::poll(&pfd, 1, 10);
    }
    return done == bytes.size();
}

QByteArray PtyPair::readMaster(int timeoutMs)
{
    QByteArray out;
    if (m_masterFd < 0)
        return out;
    pollfd pfd { m_masterFd, POLLIN, 0 };
    if (::poll(&pfd, 1, timeoutMs) <= 0)
        return out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

QByteArray PtyPair::readMasterExactly(qsizetype count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (out.size() < count) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            break;
        out += readMaster(int(left));
    }
    return out;
}

void PtyPair::closeMaster()
{
    if (m_masterFd >= 0) {
        ::close(m_masterFd);
        m_masterFd = -1;
    }
}
