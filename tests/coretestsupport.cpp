#include "coretestsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

namespace TestSupport {

QByteArray hex(const char *spacedHex)
{
    return QByteArray::fromHex(QByteArray(spacedHex).replace(' ', ""));
}

QByteArray wire(const char *spacedHex)
{
    return hex(spacedHex).toHex(' ');
}

QByteArray telemetryFrame(uchar b5, uchar b6, uchar b7, uchar b8, uchar b9)
{
    QByteArray bytes = hex("FF FF 00 00 00");
    for (const uchar b : { b5, b6, b7, b8, b9 })
        bytes.append(char(b));
    return bytes;
}

QByteArray numberedFrame(qint64 number)
{
    return telemetryFrame(uchar(number % 128), uchar(number * 3 % 128), uchar(number % 100),
                          uchar(number * 7 % 128), uchar(127 - number % 128));
}

QByteArray patternImage(qsizetype size, int seed)
{
    QByteArray image(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        image[i] = char((i * 13 + seed) & 0xFF);
    return image;
}

QByteArray expectedPacket(const QByteArray &image, qsizetype index)
{
    const quint32 offset = quint32(index * 32);
    QByteArray packet = hex("A6 A6 78 78");
    for (int i = 0; i < 4; ++i)
        packet.append(char(offset >> (8 * i)));
    const QByteArray chunk = image.mid(offset, 32);
    packet.append(chunk);
    packet.append(32 - chunk.size(), char(0xFF));
    return packet;
}

QByteArray expectedPackets(const QByteArray &image)
{
    QByteArray packets;
    for (qsizetype index = 0; index * 32 < image.size(); ++index)
        packets.append(expectedPacket(image, index));
    return packets;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_previous = limit.rlim_cur;
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_previous);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_previousHandler);
}

namespace {

QtMessageHandler previousMessageHandler = nullptr;

void keepDebugMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        DebugMessages::messages().append(message);
        return;
    }
    previousMessageHandler(type, context, message);
}

} // namespace

DebugMessages::DebugMessages()
{
    messages().clear();
    previousMessageHandler = qInstallMessageHandler(keepDebugMessages);
}

DebugMessages::~DebugMessages()
{
    qInstallMessageHandler(previousMessageHandler);
}

QStringList &DebugMessages::messages()
{
    static QStringList kept;
    return kept;
}

QString debugText(const QByteArray &bytes)
{
    QString text;
    QDebug(&text).nospace() << bytes;
    return text;
}

qint64 processCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QString shortReadingFile()
{
    QDirIterator it(QStringLiteral("/sys/kernel"), QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    for (int looked = 0; it.hasNext() && looked < 500; ++looked) {
        const QString candidate = it.next();
        if (QFileInfo(candidate).size() != 4096)
            continue;
        QFile file(candidate);
        if (!file.open(QIODevice::ReadOnly) || file.isSequential())
            continue;
        const QByteArray bytes = file.readAll();
        if (file.error() == QFileDevice::NoError && !bytes.isEmpty() && bytes.size() < 4096)
            return candidate;
    }
    return {};
}

QString refusedImagePath(const QString &kind, const QString &directory)
{
    if (kind == QLatin1String("directory"))
        return directory;
    if (kind == QLatin1String("/dev/zero"))
        return kind;
    const QString path = QDir(directory).filePath(QStringLiteral("refused-") + kind);
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
    if (kind.endsWith(QLatin1String("GiB"))) {
        // Sparse: the size is reported without the disk holding it.
        QFile file(path);
        const bool made = file.open(QIODevice::WriteOnly) && file.resize(qint64(kind.chopped(3).toInt()) << 30);
        return made ? path : QString();
    }
    return path;
}

bool processEventsUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The tick bounds each blocking wait, so the deadline is looked at in time.
    QTimer tick;
    tick.start(1);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace TestSupport
