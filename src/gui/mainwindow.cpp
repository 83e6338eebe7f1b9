#include "gui/mainwindow.h"

#include "core/boardcommand.h"
#include "core/commandframes.h"
#include "core/consoletext.h"
#include "core/firmwareimage.h"
#include "core/rangecsv.h"
#include "gui/SerialPortHandler.h"
#include "gui/chartcursors.h"
#include "gui/limitsdialog.h"
#include "gui/logpane.h"
#include "gui/mqttfeed.h"
#include "gui/mqttpublishing.h"
#include "gui/powerchart.h"
#include "gui/recording.h"
#include "gui/statusline.h"
#include "gui/triggerdialog.h"
#include "gui/windowpreferences.h"
#include "link/boardsession.h"
#include "link/firmwareflasher.h"
#include "link/portregistry.h"
#include "ui_mainwindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QThreadPool>
#include <QTimer>

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
QLoggingCategory::CategoryFilter filterBeforeForm = nullptr;

// Before Qt 6.7 the check box has no checkStateChanged signal, so binding by name
// cannot find it and warns; that one expected warning is kept off the debug output
// while the form is built, every other category as the application has it.
void withoutBindingWarning(QLoggingCategory *category)
{
    // Installing calls the filter on every category before it returns the one it
    // replaces; those keep the state that filter gave them.
    if (filterBeforeForm)
        filterBeforeForm(category);
    if (qstrcmp(category->categoryName(), "qt.core.qmetaobject.connectslotsbyname") == 0)
        category->setEnabled(QtWarningMsg, false);
}
#endif

// Escaping a megabyte for the developer's copy takes longer than the window may
// stand still: it is escaped on a pool thread, exactly as the debug stream would,
// and written from the main thread a moment later.
void writeDebugCopy(const QByteArray &bytes)
{
    QThreadPool::globalInstance()->start([bytes] {
        QString escaped;
        QDebug(&escaped).nospace() << bytes;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [escaped] { qDebug().noquote() << escaped; }, Qt::QueuedConnection);
    });
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(new PortRegistry, parent)
{
    m_ports->setParent(this);
}

MainWindow::MainWindow(PortRegistry *ports, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , m_ports(ports)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
    filterBeforeForm = QLoggingCategory::installFilter(withoutBindingWarning);
    ui->setupUi(this);
    QLoggingCategory::installFilter(std::exchange(filterBeforeForm, nullptr));
    // The slot is reached through stateChanged instead.
    connect(ui->checkBox_send_in_HEX, &QCheckBox::stateChanged, this,
            [this](int state) { on_checkBox_send_in_HEX_checkStateChanged(Qt::CheckState(state)); });
#else
    ui->setupUi(this);
#endif
    m_log = new LogPane(ui->textBrowser_logout, this);

    ConfigSerialPort();
    FindSerialPort();

    const QRegularExpression hexOrBlank(QStringLiteral("^[0-9A-Fa-f\\s]*$"));
    auto *validator = new QRegularExpressionValidator(hexOrBlank, this);
    ui->lineEdit_AD_addr->setValidator(validator);
    ui->lineEdit_AD_data->setValidator(validator);
    ui->lineEdit_DA_addr->setValidator(validator);
    ui->lineEdit_DA_data->setValidator(validator);

    CreateQSplineSeries();
    createMenuActions();
    m_preferences = new WindowPreferences(this, ui, m_session, m_log);
    applyLimits(m_preferences->limits());
    if (const std::optional<QString> port = m_preferences->rememberedPortIn(m_ports->lastListing()))
        selectPortEntry(*port);
    createTriggerActions();
    createMqttActions();
}

MainWindow::~MainWindow()
{
    m_preferences->save(m_ports->identityOf(serialPortList.value(ui->comboBox_port->currentIndex())));
    // "offline" is left with the broker, retained, for whoever watches the board.
    m_mqtt->stop();
    // Nothing waits for the board any longer: what has not gone out is dropped.
    m_session->closeNow();
    CloseSerialPort();
    if (chartAxisX == m_chart->axisX()) {
        chartAxisX = nullptr;
        chartAxisY = nullptr;
        std::fill(std::begin(chartLineSeries), std::end(chartLineSeries), nullptr);
    }
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // What the board sent before the user quit is the user's too.
    m_session->takeWaitingInput();
    if (m_session->isClosing() || m_session->writer()->pendingBytes() > 0) {
        CloseSerialPort();
        m_closeWhenPortClosed = m_session->isClosing();
    }
    if (m_closeWhenPortClosed)
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void MainWindow::reportLine(const QString &line)
{
    qDebug().noquote() << line;
    m_log->appendLine(line);
}

QString MainWindow::chooseImageFile()
{
    const QString fileName = m_imageFileChooser
        ? m_imageFileChooser(this)
        : QFileDialog::getOpenFileName(this, tr("打开文件"), m_preferences->lastFolder(),
                                       tr("所有文件 (*);;文本文件 (*.txt);;日志文件 (*.log)"));
    if (!fileName.isEmpty())
        m_preferences->rememberFolderOf(fileName);
    return fileName;
}

QString MainWindow::chooseSaveFile(const QString &caption, const QString &stem, const QString &suffix)
{
    const QString suggested = QDir(m_preferences->lastFolder())
                                  .filePath(stem + u'-' + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
                                            + u'.' + suffix);
    const QString fileName = m_saveFileChooser ? m_saveFileChooser(this, caption, suggested)
                                               : QFileDialog::getSaveFileName(this, caption, suggested);
    if (!fileName.isEmpty())
        m_preferences->rememberFolderOf(fileName);
    return fileName;
}

// The menus' actions go to small objects or to lambdas: the window's slots are the
// form's controls alone.
void MainWindow::createMenuActions()
{
    m_telemetryRecording = new Recording(Recording::TelemetryRows, ui->action_record_telemetry, m_log, this);
    m_rawCapture = new Recording(Recording::RawBytes, ui->action_capture_raw, m_log, this);
    m_status = new StatusLine(ui->statusbar, m_telemetryRecording, m_rawCapture, this);
    // Counted as the driver takes them: sends and flash packets alike, and never
    // what a failed send dropped.
    connect(m_session, &BoardSession::bytesWritten, m_status, &StatusLine::addSent);
    connect(m_session, &BoardSession::bytesReceived, this, [this](const QByteArray &bytes) {
        m_status->addReceived(bytes.size());
        m_rawCapture->recordBytes(bytes);
    });

    connect(ui->action_record_telemetry, &QAction::toggled, this, [this](bool checked) {
        startOrStopRecording(m_telemetryRecording, checked, tr("记录遥测"), QStringLiteral("telemetry"),
                             QStringLiteral("csv"));
    });
    connect(ui->action_capture_raw, &QAction::toggled, this, [this](bool checked) {
        startOrStopRecording(m_rawCapture, checked, tr("记录原始数据"), QStringLiteral("capture"), QStringLiteral("bin"));
    });
    ui->action_save_log->setShortcuts(QKeySequence::Save);
    ui->action_quit->setShortcuts(QKeySequence::Quit);
    connect(ui->action_save_log, &QAction::triggered, this, [this] { saveLog(); });
    connect(ui->action_clear_log, &QAction::triggered, m_log, &LogPane::clear);
    connect(ui->action_quit, &QAction::triggered, this, &QWidget::close);

    connect(ui->action_pause_chart, &QAction::toggled, m_chart, &PowerChart::setPaused);
    connect(m_chart, &PowerChart::pausedChanged, ui->action_pause_chart, &QAction::setChecked);
    connect(ui->action_autoscale_y, &QAction::toggled, m_chart, &PowerChart::setAutoscaleY);
    connect(ui->action_reset_chart_view, &QAction::triggered, m_chart, &PowerChart::resetView);
    m_cursors = new ChartCursors(m_chart, ui->power_moniter, this);
    connect(ui->action_clear_cursors, &QAction::triggered, m_cursors, &ChartCursors::clear);
    connect(ui->action_copy_range, &QAction::triggered, this, [this] { copyChartRange(); });
    m_rangeCsv = new RangeCsv(this);
    connect(m_rangeCsv, &RangeCsv::finished, this, [this](const QByteArray &csv, qint64 rows) {
        // As bytes: tens of megabytes are turned into text only for a program that
        // pastes them, not all at once here.
        auto *mimeData = new QMimeData;
        mimeData->setData(QStringLiteral("text/plain"), csv);
        QGuiApplication::clipboard()->setMimeData(mimeData);
        m_log->appendLine(tr("已复制 %1 行到剪贴板").arg(rows));
    });
    // Space pauses only where it types nothing: on the chart.
    auto *space = new QShortcut(QKeySequence(Qt::Key_Space), ui->power_moniter, nullptr, nullptr, Qt::WidgetShortcut);
    connect(space, &QShortcut::activated, ui->action_pause_chart, &QAction::toggle);
    ui->power_moniter->setFocusPolicy(Qt::StrongFocus);
    createLimitActions();
}

void MainWindow::copyChartRange()
{
    const qint64 rows = m_cursors->rangeRows();
    if (rows == 0) {
        m_log->appendLine(tr("没有可复制的样本"));
        return;
    }
    m_rangeCsv->start(m_chart->history(), m_cursors->rangeFirstSample(), rows);
}

void MainWindow::startOrStopRecording(Recording *recording, bool start, const QString &caption, const QString &stem,
                                      const QString &suffix)
{
    if (!start) {
        recording->stop();
        return;
    }
    const QString fileName = chooseSaveFile(caption, stem, suffix);
    if (fileName.isEmpty())
        recording->stop();
    else
        recording->start(fileName);
}

void MainWindow::stopRecordings()
{
    m_telemetryRecording->stop();
    m_rawCapture->stop();
}

void MainWindow::saveLog()
{
    const QString fileName = chooseSaveFile(tr("保存日志"), QStringLiteral("log"), QStringLiteral("txt"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (m_log->saveTo(fileName, &error))
        m_log->appendLine(tr("日志已保存: %1").arg(QDir::toNativeSeparators(fileName)));
    else
        m_log->appendLine(tr("保存日志失败: %1: %2").arg(QDir::toNativeSeparators(fileName), error));
}

void MainWindow::on_pushButton_port_refresh_clicked()
{
    FindSerialPort();
}

void MainWindow::on_pushButton_portOpen_clicked()
{
    OpenSerialPort();
}

void MainWindow::on_pushButton_portClose_clicked()
{
    CloseSerialPort();
}

void MainWindow::on_pushButton_uart_send_clicked()
{
    const QString text = ui->textEdit_uart_send->toPlainText();
    const bool hex = ui->checkBox_send_in_HEX->isChecked();
    const BoardCommand command = hex ? BoardCommand::hex(text) : BoardCommand::text(text);
    if (hex && !command.isRefused())
        writeDebugCopy(command.bytes);
    sendCommand(command);
}

void MainWindow::on_checkBox_send_in_HEX_checkStateChanged(const Qt::CheckState &arg1)
{
    Q_UNUSED(arg1)
    m_log->appendLine(ui->checkBox_send_in_HEX->isChecked() ? tr("HEX模式") : tr("文本模式"), LogPane::UserAction);
}

void MainWindow::on_textEdit_uart_send_textChanged()
{
}

void MainWindow::on_pushButton_ARM_reset_clicked()
{
    sendCommand(BoardCommand::reset(ARM_Reset));
}

void MainWindow::on_pushButton_erase_APP_clicked()
{
    sendCommand(BoardCommand::erase(app_order, ui->spinBox_erase_APP->value()));
}

void MainWindow::on_pushButton_jump_to_APP_clicked()
{
    sendCommand(BoardCommand::jump(app_order, ui->spinBox_jump_to_APP->value()));
}

void MainWindow::on_pushButton_GPU_power_on_clicked()
{
    sendCommand(BoardCommand::gpuPower(GPU_POWER_order, true));
}

void MainWindow::on_pushButton_GPU_power_off_clicked()
{
    sendCommand(BoardCommand::gpuPower(GPU_POWER_order, false));
}

void MainWindow::on_checkBox_GPU_power_draw_stateChanged(int arg1)
{
    Q_UNUSED(arg1)
    sendCommand(BoardCommand::plotting(GPU_POWER_order, ui->checkBox_GPU_power_draw->isChecked()));
}

// The action signal comes before the slider commits its new value, so value() still
// holds the previous position; the position the action moved to is what the user set.
void MainWindow::on_verticalSlider_GPU_FAN_speed_actionTriggered(int action)
{
    Q_UNUSED(action)
    const int fanSpeed = ui->verticalSlider_GPU_FAN_speed->sliderPosition();
    sendCommand(BoardCommand::fanSpeed(GPU_POWER_order, fanSpeed));
    qDebug() << "fan speed" << fanSpeed;
}

void MainWindow::on_pushButton_AD_write_reg_clicked()
{
    sendCommand(BoardCommand::registerWrite(AD_order, CommandFrames::adHeader, ui->lineEdit_AD_addr->text(),
                                            ui->lineEdit_AD_data->text()));
}

void MainWindow::on_pushButton_DA_write_reg_clicked()
{
    sendCommand(BoardCommand::registerWrite(DA_order, CommandFrames::daHeader, ui->lineEdit_DA_addr->text(),
                                            ui->lineEdit_DA_data->text()));
}

void MainWindow::on_pushButton_AD_init_clicked()
{
    sendCommand(BoardCommand::registerInit(AD_order, CommandFrames::adHeader));
}

void MainWindow::on_pushButton_DA_init_clicked()
{
    sendCommand(BoardCommand::registerInit(DA_order, CommandFrames::daHeader));
}

void MainWindow::sendCommand(const BoardCommand &command)
{
    if (command.isRefused()) {
        if (!command.silentInWindow)
            m_log->appendLine(command.refusal);
        return;
    }
    if (command.lineOrder == BoardCommand::LinesAfterSend)
        SerialPortTransmitByteArray(command.bytes);
    showCommandLines(command);
    if (command.lineOrder == BoardCommand::LinesBeforeSend)
        SerialPortTransmitByteArray(command.bytes);
}

void MainWindow::showCommandLines(const BoardCommand &command)
{
    for (const QString &line : command.lines)
        m_log->appendLine(line, command.lineKind == BoardCommand::UserAction ? LogPane::UserAction : LogPane::Outcome);
}

void MainWindow::on_pushButton_open_File_clicked()
{
    const QString fileName = chooseImageFile();
    if (fileName.isEmpty()) {
        m_log->appendLine(tr("用户取消了文件选择"));
        return;
    }

    FirmwareImage image = FirmwareImage::read(fileName);
    if (!image.ok) {
        m_log->appendLine(FirmwareImage::describeOpenFailure(fileName, image.error));
        return;
    }
    file_data = std::move(image.data);

    const FirmwareImage::Description description = FirmwareImage::describe(QFileInfo(fileName));
    m_imagePath = description.absoluteFilePath;
    m_imageSize = description.size;
    m_imageModified = description.modified;
    m_log->appendImageIdentity(description);
    ui->lineEdit_file_path->setText(description.absoluteFilePath);
    m_log->appendImageDetails(description);
}

void MainWindow::on_pushButton_flash_clicked()
{
    if (!m_session->isOpen()) {
        reportLine(ConsoleText::portNotOpen());
        m_log->appendLine(ConsoleText::flashFailed(), LogPane::FlashDone);
        return;
    }
    // A file that was read, even an empty one, leaves file_data non-null.
    if (file_data.isEmpty()) {
        m_log->appendLine(file_data.isNull() ? tr("错误: 未加载固件文件") : ConsoleText::imageEmpty());
        m_log->appendLine(ConsoleText::flashFailed(), LogPane::FlashDone);
        return;
    }

    warnIfImageFileChanged();
    m_flasher = new FirmwareFlasher(m_session->writer(), file_data, this);
    connect(m_flasher, &FirmwareFlasher::progress, ui->progressBar_flash, [this](qsizetype sent, qsizetype total) {
        ui->progressBar_flash->setValue(int(sent * 100 / total));
    });
    connect(m_flasher, &FirmwareFlasher::finished, this, [this] {
        m_log->appendLine(ConsoleText::flashSucceeded(), LogPane::FlashDone);
        endFlash();
    });
    connect(m_flasher, &FirmwareFlasher::failed, this, &MainWindow::flashFailed);
    m_mqtt->followFlash(m_flasher, m_session);
    setLineControlsEnabled(false);
    m_flasher->start();
}

// The image flashed is the one loaded at "打开文件", whatever the file holds now;
// a user who rebuilt it since should know before the board gets the old one.
void MainWindow::warnIfImageFileChanged()
{
    if (m_imagePath.isEmpty())
        return;
    const QFileInfo now(m_imagePath);
    if (!now.exists() || now.size() != m_imageSize || now.lastModified() != m_imageModified)
        m_log->appendLine(tr("固件文件在打开后已改变或已不存在, 烧录的仍是打开时载入的内容: %1").arg(m_imagePath));
}

void MainWindow::flashFailed(const QString &sendError)
{
    if (!sendError.isEmpty()) {
        reportLine(ConsoleText::sendFailed(sendError));
        m_session->checkLost();
    }
    m_log->appendLine(ConsoleText::flashFailed(), LogPane::FlashDone);
    m_log->appendLine(ConsoleText::flashBytesSent(m_flasher->bytesSent(), m_flasher->imageSize()));
    endFlash();
}

void MainWindow::endFlash()
{
    m_flasher->deleteLater();
    m_flasher = nullptr;
    setLineControlsEnabled(true);
}
// Between update packets nothing else may reach the line, and the port may not be
// reopened under the flash; closing stays possible, and stops it.
void MainWindow::setLineControlsEnabled(bool enabled)
{
    QWidget *const controls[] = {
        ui->pushButton_port_refresh, ui->pushButton_portOpen,
        ui->pushButton_ARM_reset, ui->pushButton_erase_APP, ui->pushButton_jump_to_APP,
        ui->pushButton_GPU_power_on, ui->pushButton_GPU_power_off, ui->checkBox_GPU_power_draw,
        ui->verticalSlider_GPU_FAN_speed,
        ui->pushButton_AD_write_reg, ui->pushButton_AD_read_reg, ui->pushButton_AD_init,
        ui->pushButton_DA_write_reg, ui->pushButton_DA_read_reg, ui->pushButton_DA_init,
        ui->pushButton_uart_send, ui->pushButton_open_File, ui->pushButton_flash,
    };
    for (QWidget *control : controls)
        control->setEnabled(enabled);
}

void MainWindow::createLimitActions()
{
    m_limitSummaryTimer = new QTimer(this);
    m_limitSummaryTimer->setInterval(250);
    connect(m_limitSummaryTimer, &QTimer::timeout, this, [this] {
        showLimitEvents(m_limitWatch.flush(m_chart->clockUs() / 1000));
        if (!m_limitWatch.hasCountedExcursions())
            m_limitSummaryTimer->stop();
    });
    connect(ui->action_limits, &QAction::triggered, this, [this] {
        auto *dialog = new LimitsDialog(m_limitWatch.limits(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::accepted, this, [this, dialog] {
            applyLimits(dialog->limits());
            m_preferences->rememberLimits(dialog->limits());
        });
        dialog->open();
    });
    connect(ui->action_interlock, &QAction::toggled, this, [this](bool on) {
        m_limitWatch.setProtectionArmed(on);
        m_status->setProtectionOn(on);
        if (on && !m_limitWatch.hasLimits())
            m_log->appendLine(tr("未设置限值: 越限保护不会动作"));
    });
}

void MainWindow::applyLimits(const CurveLimits::Set &limits)
{
    m_limitWatch.setLimits(limits);
    m_chart->setLimits(limits);
    m_status->setLimits(limits);
}

void MainWindow::watchLimits(qint64 sampleNumber, qint64 arrivalUs, const Telemetry::Sample &values)
{
    if (!m_limitWatch.hasLimits())
        return;
    const QList<LimitEvent> events = m_limitWatch.add(sampleNumber, arrivalUs / 1000, values);
    if (!events.isEmpty())
        showLimitEvents(events);
    if (m_limitWatch.hasCountedExcursions() && !m_limitSummaryTimer->isActive())
        m_limitSummaryTimer->start();
}

// The protection cuts the GPU's power the way its button does: the same frame, the
// same state left in it for the frames after, the same line, and one line before
// them saying why. The frame is handed to the driver before any line is written
// and before the window repaints, as the protection is there to cut the power
// soon; the pane reads the same.
void MainWindow::showLimitEvents(const QList<LimitEvent> &events)
{
    for (const LimitEvent &event : events) {
        if (event.kind != LimitEvent::Protection) {
            m_log->appendLine(event.line);
            continue;
        }
        const BoardCommand cut = BoardCommand::gpuPower(GPU_POWER_order, false);
        transmit(cut.bytes, SerialWriter::Urgency::Urgent);
        reportLine(event.line);
        showCommandLines(cut);
        ui->action_interlock->setChecked(false);
    }
    m_mqtt->addLimitEvents(events);
}

// The dialog leaves the window answering: frames keep coming while it is open.
void MainWindow::createTriggerActions()
{
    m_chart->setTriggerSettings(m_preferences->triggerSettings());
    connect(ui->action_trigger, &QAction::triggered, this, [this] {
        auto *dialog = new TriggerDialog(m_chart->trigger().settings(), this);
        connect(dialog, &TriggerDialog::settingsChosen, this, [this](const ChartTrigger::Settings &settings) {
            m_chart->setTriggerSettings(settings);
            m_preferences->rememberTrigger(settings);
        });
        dialog->open();
    });
    connect(ui->action_trigger_arm, &QAction::toggled, m_chart, &PowerChart::setTriggerArmed);
    connect(m_chart, &PowerChart::triggered, this, [this](const ChartTrigger::Capture &capture) {
        m_log->appendLine(ChartTrigger::captureLine(m_chart->trigger().settings(), capture));
        m_mqtt->addTrigger(m_chart->trigger().settings(), capture);
        ui->action_trigger_arm->setChecked(m_chart->trigger().isArmed());
    });
}

void MainWindow::createMqttActions()
{
    m_mqtt = new MqttFeed(this);
    new MqttPublishing(m_mqtt, m_preferences, m_log, m_status, [this] { return defaultBoardName(); }, this);
}

QString MainWindow::defaultBoardName() const
{
    const PortIdentity port = m_ports->identityOf(serialPortList.value(ui->comboBox_port->currentIndex()));
    return MqttFeed::defaultBoardName(port.portName, port.serialNumber);
}
