#include "gui/mainwindow.h"

#include "core/consoletext.h"
#include "core/firmwareimage.h"
#include "core/flashpackets.h"
#include "core/hexinput.h"
#include "core/registerfield.h"
#include "gui/SerialPortHandler.h"
#include "gui/logpane.h"
#include "gui/powerchart.h"
#include "gui/windowpreferences.h"
#include "gui/recording.h"
#include "gui/statusline.h"
#include "link/firmwareflasher.h"
#include "link/portreceiver.h"
#include "link/serialporthangup.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QThreadPool>

namespace {

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
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
    // Before Qt 6.7 the check box has no checkStateChanged signal, so binding by
    // name cannot find it and says so; the slot is connected to stateChanged
    // instead, and that one expected warning is kept off the debug output.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.core.qmetaobject.connectslotsbyname.warning=false"));
    ui->setupUi(this);
    QLoggingCategory::setFilterRules(QString());
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
    m_preferences = new WindowPreferences(this, ui, m_reconnect, m_log);
}

MainWindow::~MainWindow()
{
    m_preferences->save();
    CloseSerialPort();
    if (chartAxisX == m_chart->axisX()) {
        chartAxisX = nullptr;
        chartAxisY = nullptr;
        std::fill(std::begin(chartLineSeries), std::end(chartLineSeries), nullptr);
    }
    delete ui;
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
    connect(serialPortInst, &QSerialPort::bytesWritten, m_status, &StatusLine::addSent);

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
    // Space pauses only where it types nothing: on the chart.
    auto *space = new QShortcut(QKeySequence(Qt::Key_Space), ui->power_moniter, nullptr, nullptr, Qt::WidgetShortcut);
    connect(space, &QShortcut::activated, ui->action_pause_chart, &QAction::toggle);
    ui->power_moniter->setFocusPolicy(Qt::StrongFocus);
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
    if (text.isEmpty()) {
        m_log->appendLine(tr("错误: textEdit内容为空"));
        return;
    }

    if (ui->checkBox_send_in_HEX->isChecked()) {
        const HexInput input = HexInput::parse(text);
        switch (input.status) {
        case HexInput::Invalid:
            m_log->appendLine(tr("错误: 只能输入16进制字符(0-9, A-F)和空格"));
            return;
        case HexInput::Blank:
            return;
        case HexInput::Ready:
            m_log->appendLine(tr("16进制: ") + input.normalised);
            writeDebugCopy(input.bytes);
            SerialPortTransmitByteArray(input.bytes);
            return;
        }
        return;
    }

    const TextInput input = TextInput::encode(text);
    m_log->appendLine(tr("输入字符: %1, 字节数: %2").arg(input.charCount).arg(input.bytes.size()));
    m_log->appendLine(tr("16进制: ") + input.hexEcho);
    SerialPortTransmit(reinterpret_cast<const uint8_t *>(input.bytes.constData()), int(input.bytes.size()));
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
    sendFrame(ARM_Reset);
    m_log->appendLine(tr("ARM复位指令发送"), LogPane::UserAction);
}

void MainWindow::on_pushButton_erase_APP_clicked()
{
    CommandFrames::setErase(app_order, ui->spinBox_erase_APP->value());
    sendFrame(app_order);
}

void MainWindow::on_pushButton_jump_to_APP_clicked()
{
    CommandFrames::setJump(app_order, ui->spinBox_jump_to_APP->value());
    sendFrame(app_order);
}

void MainWindow::on_pushButton_GPU_power_on_clicked()
{
    CommandFrames::setGpuPower(GPU_POWER_order, true);
    m_log->appendLine(tr("GPU上电"), LogPane::UserAction);
    sendFrame(GPU_POWER_order);
}

void MainWindow::on_pushButton_GPU_power_off_clicked()
{
    CommandFrames::setGpuPower(GPU_POWER_order, false);
    m_log->appendLine(tr("GPU断电"), LogPane::UserAction);
    sendFrame(GPU_POWER_order);
}

void MainWindow::on_checkBox_GPU_power_draw_stateChanged(int arg1)
{
    Q_UNUSED(arg1)
    const bool plotting = ui->checkBox_GPU_power_draw->isChecked();
    m_log->appendLine(plotting ? tr("曲线绘制") : tr("关闭绘制"), LogPane::UserAction);
    CommandFrames::setPlotting(GPU_POWER_order, plotting);
    sendFrame(GPU_POWER_order);
}

// The action signal comes before the slider commits its new value, so value() still
// holds the previous position; the position the action moved to is what the user set.
void MainWindow::on_verticalSlider_GPU_FAN_speed_actionTriggered(int action)
{
    Q_UNUSED(action)
    const int fanSpeed = ui->verticalSlider_GPU_FAN_speed->sliderPosition();
    CommandFrames::setFanSpeed(GPU_POWER_order, fanSpeed);
    sendFrame(GPU_POWER_order);
    qDebug() << "fan speed" << fanSpeed;
}

void MainWindow::registerWrite(AD_DA_order_struct &frame, CommandFrames::RegisterHeader header,
                               const QLineEdit *addressField, const QLineEdit *dataField)
{
    const RegisterField address = RegisterField::parse(addressField->text());
    const RegisterField value = RegisterField::parse(dataField->text());
    if (address.status == RegisterField::Empty || value.status == RegisterField::Empty)
        return;
    if (address.status == RegisterField::Invalid || value.status == RegisterField::Invalid) {
        m_log->appendLine(tr("错误: 寄存器地址和数据须为0-FFFF的16进制数"));
        return;
    }
    CommandFrames::setRegisterWrite(frame, header, address.value, value.value);
    sendFrame(frame);
}

void MainWindow::on_pushButton_AD_write_reg_clicked()
{
    registerWrite(AD_order, CommandFrames::adHeader, ui->lineEdit_AD_addr, ui->lineEdit_AD_data);
}

void MainWindow::on_pushButton_DA_write_reg_clicked()
{
    registerWrite(DA_order, CommandFrames::daHeader, ui->lineEdit_DA_addr, ui->lineEdit_DA_data);
}

void MainWindow::on_pushButton_AD_init_clicked()
{
    CommandFrames::setRegisterInit(AD_order, CommandFrames::adHeader);
    sendFrame(AD_order);
}

void MainWindow::on_pushButton_DA_init_clicked()
{
    CommandFrames::setRegisterInit(DA_order, CommandFrames::daHeader);
    sendFrame(DA_order);
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
    if (!serialPortInst->isOpen()) {
        reportLine(ConsoleText::portNotOpen());
        m_log->appendLine(ConsoleText::flashFailed(), LogPane::FlashDone);
        return;
    }
    // A file that was read, even an empty one, leaves file_data non-null.
    if (file_data.isEmpty()) {
        m_log->appendLine(file_data.isNull() ? tr("错误: 未加载固件文件") : tr("错误: 固件文件为空"));
        m_log->appendLine(ConsoleText::flashFailed(), LogPane::FlashDone);
        return;
    }

    warnIfImageFileChanged();
    m_flasher = new FirmwareFlasher(m_writer, file_data, this);
    connect(m_flasher, &FirmwareFlasher::progress, ui->progressBar_flash, [this](qsizetype sent, qsizetype total) {
        ui->progressBar_flash->setValue(int(sent * 100 / total));
    });
    connect(m_flasher, &FirmwareFlasher::finished, this, [this] {
        m_log->appendLine(ConsoleText::flashSucceeded(), LogPane::FlashDone);
        endFlash();
    });
    connect(m_flasher, &FirmwareFlasher::failed, this, &MainWindow::flashFailed);
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
        // Qt 6.8 tells the writer of a hung-up device before anyone else: the loss
        // is said before the flash's end, as Qt 6.4 has it.
        if (SerialPortHangUpWatch::isLostDeviceError(serialPortInst->error()))
            SerialPortLost();
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
