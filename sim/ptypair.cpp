#include "ptypair.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
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
        m_initialSpeed = unsigned(::cfgetospeed(&settings));
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

qsizetype PtyPair::unreadBytes() const
{
    int count = 0;
    if (m_slaveFd < 0 || ::ioctl(m_slaveFd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

bool PtyPair::slaveConfigured() const
{
    termios settings {};
    return m_slaveFd >= 0 && ::tcgetattr(m_slaveFd, &settings) == 0
        && unsigned(::cfgetospeed(&settings)) != m_initialSpeed;
}

void PtyPair::closeMaster()
{
    if (m_masterFd >= 0) {
        ::close(m_masterFd);
        m_masterFd = -1;
    }
}
