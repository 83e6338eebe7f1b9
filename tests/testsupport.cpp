#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "link/boardsession.h"
#include "link/portregistry.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineSeries>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <fcntl.h>
#include <unistd.h>

namespace TestSupport {

PortRegistry &testPorts()
{
    static PortRegistry ports;
    return ports;
}

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

void click(const MainWindow &window, const char *buttonName)
{
    QAbstractButton *button = widget<QAbstractButton>(window, buttonName);
    QVERIFY2(button, buttonName);
    button->click();
}

qint64 idleCpuMs(int windowMs)
{
    const qint64 before = processCpuMs();
    QTest::qWait(windowMs);
    return processCpuMs() - before;
}

qint64 framesPlotted()
{
    const QLineSeries *series = chartLineSeries[0];
    return series->count() == 0 ? 0 : qint64(series->at(series->count() - 1).x()) + 1;
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
    : m_pty(std::make_unique<TestPty>())
    , m_arrivalCounter(std::make_unique<QObject>())
{
    // Connected before the window's own slot, so it sees each arrival before the
    // window takes it; once the event loop returns, the window has handled it too.
    QObject::connect(serialPortInst, &QSerialPort::readyRead, m_arrivalCounter.get(),
                     [this] { m_bytesTakenIn += serialPortInst->bytesAvailable(); });
    testPorts().addExtraPort({ m_pty->slavePath(), QStringLiteral("Test pty"), std::nullopt, std::nullopt });
    m_window = std::make_unique<MainWindow>(&testPorts());
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

void PtyConsole::destroyWindow()
{
    // The window may first let the port's queue go out, answering meanwhile.
    m_window->close();
    processEventsUntil([&] { return !m_window->session()->isClosing(); }, 15000);
    m_window.reset();
}

QByteArray PtyConsole::sentBytes(qsizetype expected, int timeoutMs)
{
    return m_pty->readMasterWhileRunning(expected, timeoutMs);
}

QByteArray PtyConsole::strayBytes()
{
    static const QByteArray marker = QByteArrayLiteral("\x7e<end of stray bytes>\x7e");
    if (!m_pty->isValid())
        return {};
    // Sends queued for the event loop go out ahead of the marker.
    QCoreApplication::processEvents();
    if (!sendMarker(marker))
        return QByteArrayLiteral("<the marker could not be sent>");
    QByteArray received;
    const bool markerIn = processEventsUntil([&] {
        received += m_pty->readMaster(0);
        return received.contains(marker);
    }, 5000);
    if (!markerIn)
        return received + "<the marker did not arrive>";
    return received.remove(received.indexOf(marker), marker.size());
}

bool PtyConsole::sendMarker(const QByteArray &marker)
{
    if (serialPortInst->isOpen() && QStringLiteral("/dev/") + serialPortInst->portName() == m_pty->slavePath())
        return serialPortInst->write(marker) == marker.size();
    // The console's port is closed or on another line: what it sent here is in the
    // kernel already, ahead of a marker written on a descriptor of our own.
    const int fd = ::open(QFile::encodeName(m_pty->slavePath()).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, marker.constData(), size_t(marker.size())) == marker.size();
    ::close(fd);
    return written;
}

bool PtyConsole::boardSends(const QByteArray &bytes, int timeoutMs)
{
    const qint64 expected = m_bytesTakenIn + bytes.size();
    return m_pty->writeMaster(bytes) && processEventsUntil([&] { return m_bytesTakenIn >= expected; }, timeoutMs);
}

QColor PtyConsole::colourFromEnd(int fromEnd) const
{
    const qsizetype count = logParagraphs(*m_window).size();
    return paragraphColour(*m_window, int(count - fromEnd));
}

QStringList PtyConsole::newLogLines()
{
    const QStringList all = logParagraphs(*m_window);
    const QStringList fresh = all.mid(m_seenLogParagraphs);
    m_seenLogParagraphs = all.size();
    return fresh;
}

} // namespace TestSupport
