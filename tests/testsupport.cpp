#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "link/boardsession.h"
#include "link/portregistry.h"

#include <QComboBox>
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <chrono>

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

QString textInColour(const MainWindow &window, int paragraph, const QColor &colour)
{
    QString text;
    const QTextDocument *document = widget<QTextBrowser>(window, "textBrowser_logout")->document();
    for (QTextBlock block = document->findBlockByNumber(paragraph); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().foreground().color() == colour)
                text += it.fragment().text();
        }
    }
    return text;
}

void click(const MainWindow &window, const char *buttonName)
{
    QAbstractButton *button = widget<QAbstractButton>(window, buttonName);
    QVERIFY2(button, buttonName);
    button->click();
}

namespace {

void moveFanSlider(QSlider *slider, const UserAction &action)
{
    switch (action.gesture) {
    case SliderGesture::StepUp:
        return slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    case SliderGesture::StepDown:
        return slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
    case SliderGesture::PageUp:
        return slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    case SliderGesture::PageDown:
        return slider->triggerAction(QAbstractSlider::SliderPageStepSub);
    case SliderGesture::ToMinimum:
        return slider->triggerAction(QAbstractSlider::SliderToMinimum);
    case SliderGesture::ToMaximum:
        return slider->triggerAction(QAbstractSlider::SliderToMaximum);
    case SliderGesture::KeyUp:
        return QTest::keyClick(slider, Qt::Key_Up);
    case SliderGesture::KeyDown:
        return QTest::keyClick(slider, Qt::Key_Down);
    case SliderGesture::DragTo:
        slider->setSliderDown(true);
        return slider->setSliderPosition(action.value);
    case SliderGesture::Release:
        return slider->setSliderDown(false);
    }
}

} // namespace

void perform(MainWindow &window, const UserAction &action, const QString &portName)
{
    switch (action.kind) {
    case UserAction::Press:
    case UserAction::ClosePort:
        return click(window, action.widget);
    case UserAction::Tick:
        if (widget<QAbstractButton>(window, action.widget)->isChecked() != bool(action.value))
            click(window, action.widget);
        return;
    case UserAction::SetSpinBox:
        return widget<QSpinBox>(window, action.widget)->setValue(action.value);
    case UserAction::Type:
        if (auto *field = widget<QLineEdit>(window, action.widget))
            return field->setText(action.text);
        widget<QTextEdit>(window, action.widget)->setPlainText(action.text);
        // The send editor gives back what was typed, line breaks and all.
        QCOMPARE(widget<QTextEdit>(window, action.widget)->toPlainText(), action.text);
        return;
    case UserAction::Slide:
        return moveFanSlider(widget<QSlider>(window, action.widget), action);
    case UserAction::SetSlider:
        return widget<QSlider>(window, action.widget)->setValue(action.value);
    case UserAction::OpenPort:
        QVERIFY(selectPort(window, portName));
        return click(window, action.widget);
    }
}

void loadImage(MainWindow &window, const QString &path)
{
    window.setImageFileChooser([path](QWidget *) { return path; });
    click(window, "pushButton_open_File");
}

bool isFlashing(const MainWindow &window)
{
    return !widget<QAbstractButton>(window, "pushButton_flash")->isEnabled();
}

bool waitForFlashEnd(const MainWindow &window, int timeoutMs)
{
    return processEventsUntil([&window] { return !isFlashing(window); }, timeoutMs);
}

qsizetype bytesReportedSent(const QString &line, qsizetype imageSize)
{
    const QRegularExpressionMatch sent =
        QRegularExpression(QStringLiteral("^已发送 (\\d+)/%1 字节$").arg(imageSize)).match(line);
    return sent.hasMatch() ? sent.captured(1).toLongLong() : -1;
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

bool chooseTrigger(MainWindow &window, const ChartTrigger::Settings &settings, const QString &levelText)
{
    widget<QAction>(window, "action_trigger")->trigger();
    // One accepted before may still wait to be deleted.
    QPointer<QDialog> dialog;
    for (QDialog *open : window.findChildren<QDialog *>(QStringLiteral("dialog_trigger"))) {
        if (open->isVisible())
            dialog = open;
    }
    if (!dialog)
        return false;
    const auto comboBox = [&dialog](const char *name) { return dialog->findChild<QComboBox *>(QLatin1String(name)); };
    comboBox("comboBox_trigger_curve")->setCurrentIndex(settings.series);
    comboBox("comboBox_trigger_edge")->setCurrentIndex(int(settings.edge));
    comboBox("comboBox_trigger_mode")->setCurrentIndex(int(settings.mode));
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_trigger_level"))
        ->setText(levelText.isNull() ? QString::number(settings.level) : levelText);
    dialog->findChild<QSpinBox *>(QStringLiteral("spinBox_trigger_position"))->setValue(settings.positionPercent);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    return !dialog || dialog->isHidden();
}

bool selectPort(MainWindow &window, const QString &portName)
{
    const qsizetype index = serialPortList.indexOf(portName);
    if (index < 0)
        return false;
    widget<QComboBox>(window, "comboBox_port")->setCurrentIndex(int(index));
    return true;
}

void openListedPort(MainWindow &window, const QString &portName, const QString &description)
{
    testPorts().addExtraPort({ portName, description, std::nullopt, std::nullopt });
    click(window, "pushButton_port_refresh");
    QVERIFY(selectPort(window, portName));
    click(window, "pushButton_portOpen");
}

StreamingBoard::StreamingBoard(TestPty &pty, qint64 first, qint64 count, int framesPerSecond)
    : m_thread([&pty, first, count, framesPerSecond] {
        const qint64 perWrite = framesPerSecond > 0 ? 1 : 10;
        const auto start = std::chrono::steady_clock::now();
        for (qint64 n = first; n < first + count; n += perWrite) {
            if (framesPerSecond > 0)
                std::this_thread::sleep_until(start + (n - first) * std::chrono::nanoseconds(1000000000 / framesPerSecond));
            QByteArray bytes;
            for (qint64 k = n; k < std::min(n + perWrite, first + count); ++k)
                bytes += numberedFrame(k);
            if (!pty.writeMaster(bytes))
                return;
        }
    })
{
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

QByteArray PtyConsole::everythingSent(qsizetype expected, int timeoutMs)
{
    const QByteArray sent = sentBytes(expected, timeoutMs);
    return sent + strayBytes();
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

bool PtyConsole::boardSends(const QList<QByteArray> &pieces)
{
    return std::all_of(pieces.cbegin(), pieces.cend(), [this](const QByteArray &piece) { return boardSends(piece); });
}

void PtyConsole::takeStep(const CommandStep &step)
{
    if (step.actions.isEmpty())
        return;
    for (qsizetype i = 0; i + 1 < step.actions.size(); ++i)
        perform(*m_window, step.actions.at(i), m_pty->slavePath());
    // What setting up said (a change of mode) is not the step's.
    newLogLines();
    const UserAction &action = step.actions.constLast();
    const QByteArray framesBefore = processWideFrames();
    const QTextEdit *editor = widget<QTextEdit>(*m_window, "textEdit_uart_send");
    const QString editorText = editor->toPlainText();
    const DebugMessages debug;
    perform(*m_window, action, m_pty->slavePath());

    const bool portOpen = serialPortInst->isOpen();
    const QByteArray expected = portOpen ? step.bytes : QByteArray();
    QCOMPARE((expected.isEmpty() ? strayBytes() : everythingSent(expected.size())).toHex(' '), expected.toHex(' '));
    const QStringList lines = newLogLines();
    QCOMPARE(lines, step.lines);
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(colourFromEnd(int(lines.size() - i)) == orange(), step.orange && lines.at(i) != portNotOpenLine());
    if (step.bytes.isEmpty())
        QCOMPARE(processWideFrames().toHex(' '), framesBefore.toHex(' '));
    // A send leaves the text in the editor, and a change of mode does not touch it.
    if (action.kind != UserAction::Type)
        QCOMPARE(editor->toPlainText(), editorText);

    const QStringList &messages = DebugMessages::messages();
    if (action.kind == UserAction::Slide) {
        QCOMPARE(widget<QSlider>(*m_window, action.widget)->value(), action.value);
        // The fan value ends the debug line, whatever comes before it.
        const QRegularExpression fanLine(QStringLiteral("^\\D*%1$").arg(action.value));
        QCOMPARE(messages.filter(fanLine).size(), action.gesture == SliderGesture::Release ? 0 : 1);
    }
    // A hex send's bytes go to the debug output, once, and only when there are some.
    if (qstrcmp(action.widget, "pushButton_uart_send") == 0 && portOpen) {
        const bool hexMode = widget<QAbstractButton>(*m_window, "checkBox_send_in_HEX")->isChecked();
        // Written from the event loop once a pool thread has escaped the bytes.
        QTRY_COMPARE(messages, hexMode && !step.bytes.isEmpty() ? QStringList { debugText(step.bytes) } : QStringList());
    }
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

bool enterLimits(MainWindow &window, int series, const QString &low, const QString &high)
{
    widget<QAction>(window, "action_limits")->trigger();
    const QList<QDialog *> dialogs = window.findChildren<QDialog *>(QStringLiteral("dialog_limits"));
    const auto open = std::find_if(dialogs.cbegin(), dialogs.cend(), [](const QDialog *dialog) { return dialog->isVisible(); });
    if (open == dialogs.cend())
        return false;
    QDialog *const dialog = *open;
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_limit_low_%1").arg(series))->setText(low);
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_limit_high_%1").arg(series))->setText(high);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    return !dialog->isVisible();
}

bool publishToMqtt(MainWindow &window, const QString &url, const QString &board, const QString &password,
                   bool rememberPassword)
{
    widget<QAction>(window, "action_mqtt")->trigger();
    const QList<QDialog *> dialogs = window.findChildren<QDialog *>(QStringLiteral("dialog_mqtt"));
    const auto open = std::find_if(dialogs.cbegin(), dialogs.cend(), [](const QDialog *dialog) { return dialog->isVisible(); });
    if (open == dialogs.cend())
        return false;
    QDialog *const dialog = *open;
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_mqtt_url"))->setText(url);
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_mqtt_board"))->setText(board);
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_mqtt_password"))->setText(password);
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBox_mqtt_remember"))->setChecked(rememberPassword);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    return !dialog->isVisible();
}

} // namespace TestSupport
