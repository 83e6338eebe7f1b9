#include "gui/mainwindow.h"

#include "gui/SerialPortHandler.h"
#include "link/firmwareflasher.h"
#include "core/firmwareimage.h"
#include "core/hexinput.h"
#include "gui/logpane.h"
#include "core/registerfield.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

const QString flashFailureLine = QStringLiteral("<font color=\"red\">烧录失败！</font>");

// Like the image, process-wide: an empty image that was loaded is not "no image".
bool imageLoaded = false;

ImageFileChooser &imageFileChooser()
{
    static ImageFileChooser chooser;
    return chooser;
}

QString chooseImageFile(QWidget *parent)
{
    if (imageFileChooser())
        return imageFileChooser()(parent);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("打开文件"), QDir::homePath(),
                                        QStringLiteral("所有文件 (*);;文本文件 (*.txt);;日志文件 (*.log)"));
}

#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
// Before Qt 6.7 the check box has no checkStateChanged signal, so binding by name
// cannot find it and says so; the constructor connects the slot to stateChanged
// instead, and that one expected warning is kept off the debug output.
QtMessageHandler previousMessageHandler = nullptr;

void dropMissingCheckStateSignalWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("on_checkBox_send_in_HEX_checkStateChanged")))
        return;
    previousMessageHandler(type, context, message);
}
#endif

} // namespace

void setImageFileChooser(ImageFileChooser chooser)
{
    imageFileChooser() = std::move(chooser);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 7, 0)
    previousMessageHandler = qInstallMessageHandler(dropMissingCheckStateSignalWarning);
    ui->setupUi(this);
    qInstallMessageHandler(previousMessageHandler);
    connect(ui->checkBox_send_in_HEX, &QCheckBox::stateChanged, this,
            [this](int state) { on_checkBox_send_in_HEX_checkStateChanged(Qt::CheckState(state)); });
#else
    ui->setupUi(this);
#endif

    ConfigSerialPort();
    FindSerialPort();

    const QRegularExpression hexOrBlank(QStringLiteral("^[0-9A-Fa-f\\s]*$"));
    auto *validator = new QRegularExpressionValidator(hexOrBlank, this);
    ui->lineEdit_AD_addr->setValidator(validator);
    ui->lineEdit_AD_data->setValidator(validator);
    ui->lineEdit_DA_addr->setValidator(validator);
    ui->lineEdit_DA_data->setValidator(validator);

    CreateQSplineSeries();
}

MainWindow::~MainWindow()
{
    CloseSerialPort();
    delete ui;
}

void MainWindow::logLine(const QString &line)
{
    LogPane::appendLine(ui->textBrowser_logout, line);
}

void MainWindow::reportLine(const QString &line)
{
    qDebug().noquote() << line;
    logLine(line);
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
        logLine(QStringLiteral("错误: textEdit内容为空"));
        return;
    }

    if (ui->checkBox_send_in_HEX->isChecked()) {
        const HexInput input = HexInput::parse(text);
        switch (input.status) {
        case HexInput::Invalid:
            logLine(QStringLiteral("错误: 只能输入16进制字符(0-9, A-F)和空格"));
            return;
        case HexInput::Blank:
            return;
        case HexInput::Ready:
            logLine(QStringLiteral("16进制: ") + input.normalised);
            qDebug() << input.bytes;
            SerialPortTransmitByteArray(input.bytes);
            return;
        }
        return;
    }

    const TextInput input = TextInput::encode(text);
    logLine(QStringLiteral("输入字符: %1, 字节数: %2").arg(input.charCount).arg(input.bytes.size()));
    logLine(QStringLiteral("16进制: ") + input.hexEcho);
    SerialPortTransmit(reinterpret_cast<const uint8_t *>(input.bytes.constData()), int(input.bytes.size()));
}

void MainWindow::on_checkBox_send_in_HEX_checkStateChanged(const Qt::CheckState &arg1)
{
    Q_UNUSED(arg1)
    logLine(ui->checkBox_send_in_HEX->isChecked() ? QStringLiteral("<font color=\"orange\">HEX模式</font>")
                                                  : QStringLiteral("<font color=\"orange\">文本模式</font>"));
}

void MainWindow::on_textEdit_uart_send_textChanged()
{
}

void MainWindow::on_pushButton_ARM_reset_clicked()
{
    sendFrame(ARM_Reset);
    logLine(QStringLiteral("<font color=\"orange\">ARM复位指令发送</font>"));
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
    logLine(QStringLiteral("<font color=\"orange\">GPU上电</font>"));
    sendFrame(GPU_POWER_order);
}

void MainWindow::on_pushButton_GPU_power_off_clicked()
{
    CommandFrames::setGpuPower(GPU_POWER_order, false);
    logLine(QStringLiteral("<font color=\"orange\">GPU断电</font>"));
    sendFrame(GPU_POWER_order);
}

void MainWindow::on_checkBox_GPU_power_draw_stateChanged(int arg1)
{
    Q_UNUSED(arg1)
    const bool plotting = ui->checkBox_GPU_power_draw->isChecked();
    logLine(plotting ? QStringLiteral("<font color=\"orange\">曲线绘制</font>")
                     : QStringLiteral("<font color=\"orange\">关闭绘制</font>"));
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
        logLine(QStringLiteral("错误: 寄存器地址和数据须为0-FFFF的16进制数"));
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
    const QString fileName = chooseImageFile(this);
    if (fileName.isEmpty()) {
        logLine(QStringLiteral("用户取消了文件选择"));
        return;
    }

    FirmwareImage image = FirmwareImage::read(fileName);
    if (!image.ok) {
        logLine(FirmwareImage::describeOpenFailure(fileName, image.error));
        return;
    }
    file_data = std::move(image.data);
    imageLoaded = true;

    const QFileInfo info(fileName);
    const QStringList lines = FirmwareImage::describe(info);
    // The path field is filled right after the path line, before the size and times.
    constexpr qsizetype linesUpToPath = 3;
    for (const QString &line : lines.first(linesUpToPath))
        logLine(line);
    ui->lineEdit_file_path->setText(info.absoluteFilePath());
    for (const QString &line : lines.sliced(linesUpToPath))
        logLine(line);
}

void MainWindow::on_pushButton_flash_clicked()
{
    if (!serialPortInst->isOpen()) {
        reportLine(QStringLiteral("串口未打开"));
        logLine(flashFailureLine);
        return;
    }
    if (!imageLoaded || file_data.isEmpty()) {
        logLine(imageLoaded ? QStringLiteral("错误: 固件文件为空") : QStringLiteral("错误: 未加载固件文件"));
        logLine(flashFailureLine);
        return;
    }

    flasher = new FirmwareFlasher(serialPortInst, file_data, serialPortWriteTimeoutMs, this);
    connect(flasher, &FirmwareFlasher::progress, ui->progressBar_flash, [this](qsizetype sent, qsizetype total) {
        ui->progressBar_flash->setValue(int(sent * 100 / total));
    });
    connect(flasher, &FirmwareFlasher::finished, this, [this] {
        logLine(QStringLiteral("<font color=\"red\">烧录成功！</font>"));
        endFlash();
    });
    connect(flasher, &FirmwareFlasher::failed, this, &MainWindow::flashFailed);
    setLineControlsEnabled(false);
    flasher->start();
}

void MainWindow::flashFailed(const QString &sendError)
{
    if (!sendError.isEmpty()) {
        const QString line = QStringLiteral("发送失败: ") + sendError;
        reportLine(line);
    }
    logLine(flashFailureLine);
    logLine(QStringLiteral("已发送 %1/%2 字节").arg(flasher->bytesSent()).arg(flasher->imageSize()));
    endFlash();
}

void MainWindow::endFlash()
{
    flasher->deleteLater();
    flasher = nullptr;
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
