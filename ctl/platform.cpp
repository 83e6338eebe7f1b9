#include "platform.h"

#if defined(Q_OS_UNIX)
#include <csignal>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace Platform {

bool isTerminal(std::FILE *stream)
{
#if defined(Q_OS_UNIX)
    return ::isatty(::fileno(stream)) == 1;
#elif defined(Q_OS_WIN)
    return ::_isatty(::_fileno(stream)) != 0;
#else
    Q_UNUSED(stream)
    return false;
#endif
}

QString systemLocation(const QString &portName)
{
#if defined(Q_OS_WIN)
    return portName.startsWith(QLatin1String("\\\\")) ? portName : QLatin1String("\\\\.\\") + portName;
#else
    return portName.contains(u'/') ? portName : QLatin1String("/dev/") + portName;
#endif
}

void ignoreBrokenPipe()
{
#if defined(Q_OS_UNIX)
    ::signal(SIGPIPE, SIG_IGN);
#endif
}

} // namespace Platform
