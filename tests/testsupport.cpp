#include "testsupport.h"

#include "SerialPortHandler.h"
#include "portlisting.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QDebug>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <sys/resource.h>
#include <sys/stat.h>
#include <QTimer>

namespace TestSupport {

QStringList logParagraphs(const MainWindow &window)
{
    QStringList paragraphs;
    const QTextDocument *document = widget<QTextBrowser>(window, "textBrowser_logout")->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        paragraphs.append(block.text());
    return paragraphs;
}

QStringList logParagraphsFrom(const MainWindow &window, qsizetype skip)
{
    return logParagraphs(window).mid(skip);
}

QColor paragraphColour(const MainWindow &window, int paragraph)
{
    const QTextDocument *document = widget<QTextBrowser>(window, "textBrowser_logout")->document();
    const QTextBlock block = document->findBlockByNumber(paragraph);
    const QTextBlock::iterator fragment = block.begin();
    if (fragment.atEnd())
        return {};
    return fragment.fragment().charFormat().foreground().color();
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

void click(const MainWindow &window, const char *buttonName)
{
    QAbstractButton *button = widget<QAbstractButton>(window, buttonName);
    QVERIFY2(button, buttonName);
    button->click();
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

bool selectPort(MainWindow &window, const QString &portName)
{
    const qsizetype index = serialPortList.indexOf(portName);
    if (index < 0)
        return false;
    widget<QComboBox>(window, "comboBox_port")->setCurrentIndex(int(index));
    return true;
}

PtyConsole::PtyConsole(bool openPort)
    : m_pty(std::make_unique<PtyPair>())
{
    PortListing::addExtraPort({ m_pty->slavePath(), QStringLiteral("Test pty"), std::nullopt, std::nullopt });
    m_window = std::make_unique<MainWindow>();
    m_seenLogParagraphs = logParagraphs(*m_window).size();
    if (openPort) {
        selectPort(*m_window, m_pty->slavePath());
        click(*m_window, "pushButton_portOpen");
        newLogLines();
    }
}

PtyConsole::~PtyConsole()
{
    m_window.reset();
}

QByteArray PtyConsole::sentBytes(qsizetype expected, int timeoutMs)
{
    return m_pty->readMasterExactly(expected, timeoutMs);
}

QByteArray PtyConsole::strayBytes(int quietMs)
{
    return m_pty->readMaster(quietMs);
}

void PtyConsole::boardSends(const QByteArray &bytes, int settleMs)
{
    m_pty->writeMaster(bytes);
    QTest::qWait(settleMs);
}

QStringList PtyConsole::newLogLines()
{
    const QStringList all = logParagraphs(*m_window);
    const QStringList fresh = all.mid(m_seenLogParagraphs);
    m_seenLogParagraphs = all.size();
    return fresh;
}

} // namespace TestSupport
