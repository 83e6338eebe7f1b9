#include "linktestsupport.h"

#include <poll.h>
#include <unistd.h>

namespace TestSupport {

DrainingBoard::DrainingBoard(PtyPair &pty)
    : m_thread([this, &pty] {
          char buffer[4096];
          while (!m_stop) {
              pollfd pfd { pty.masterFd(), POLLIN, 0 };
              if (::poll(&pfd, 1, 20) <= 0)
                  continue;
              const ssize_t n = ::read(pty.masterFd(), buffer, sizeof buffer);
              if (n > 0)
                  m_received += n;
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

} // namespace TestSupport
