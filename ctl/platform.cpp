#include "platform.h"

#include <QSocketNotifier>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <QMetaObject>
#include <QPointer>
#include <io.h>
#include <windows.h>
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

#if defined(Q_OS_UNIX)

namespace {

// A signal handler can reach nothing but process-wide state: the write end of
// the pipe that wakes the event loop.
int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
    if (::pipe(signalPipe) != 0)
        return;
    for (const int fd : signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        setHandler(SIG_DFL);
        emit interrupted();
    });
    setHandler(onSignal);
}

InterruptWatch::~InterruptWatch()
{
    setHandler(SIG_DFL);
    for (int &fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

#elif defined(Q_OS_WIN)

namespace {

// The console's control handler runs on a thread of its own and reaches the
// watch only through this pointer.
QPointer<InterruptWatch> activeWatch;

BOOL WINAPI onConsoleControl(DWORD)
{
    if (!activeWatch)
        return FALSE;
    QMetaObject::invokeMethod(activeWatch.data(), "interrupted", Qt::QueuedConnection);
    activeWatch = nullptr;
    return TRUE;
}

} // namespace

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
    activeWatch = this;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptWatch::~InterruptWatch()
{
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    activeWatch = nullptr;
}

#else

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
}

InterruptWatch::~InterruptWatch() = default;

#endif
