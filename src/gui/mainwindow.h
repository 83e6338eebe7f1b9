#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "core/limitwatch.h"
#include "core/receivestream.h"
#include "link/serialwriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QMainWindow>

#include <cstdint>
#include <functional>

class BoardSession;
class ChartCursors;
class FirmwareFlasher;
class LogPane;
class MqttFeed;
class PortRegistry;
class PowerChart;
class Recording;
class StatusLine;
class QTimer;
class RangeCsv;
class WindowPreferences;
struct BoardCommand;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

// Picks the image file for "打开文件"; an empty name means the user cancelled.
using ImageFileChooser = std::function<QString(QWidget *parent)>;
// Picks the file to save a log or a recording in, offered the suggested path; an
// empty name means the user cancelled.
using SaveFileChooser = std::function<QString(QWidget *parent, const QString &caption, const QString &suggestedPath)>;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Lists the given ports in its selector (a simulated board's pty among them);
    // they must outlive the window.
    explicit MainWindow(PortRegistry *ports, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Without a chooser set, "打开文件" asks the user with the open-file dialog.
    void setImageFileChooser(ImageFileChooser chooser) { m_imageFileChooser = std::move(chooser); }
    // Without a chooser set, saving asks the user with the save-file dialog.
    void setSaveFileChooser(SaveFileChooser chooser) { m_saveFileChooser = std::move(chooser); }

    PowerChart *powerChart() const { return m_chart; }
    ChartCursors *chartCursors() const { return m_cursors; }
    StatusLine *statusLine() const { return m_status; }
    BoardSession *session() const { return m_session; }

    // The send operations queue their bytes and return at once: true when the port
    // was open and took them in its queue. A send that fails later, on the line,
    // is reported in the log ("发送失败: …").
    bool SerialPortTransmit(const uint8_t *data, int length);
    bool SerialPortTransmitByteArray(QByteArray data);

protected:
    // Bytes still going out to the board are let go first, with the window still
    // answering; a second close gives up on them.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_port_refresh_clicked();
    void on_pushButton_portOpen_clicked();
    void on_pushButton_portClose_clicked();
    void on_pushButton_uart_send_clicked();
    void ReceiveSerialPortData();
    void on_checkBox_send_in_HEX_checkStateChanged(const Qt::CheckState &arg1);
    void on_textEdit_uart_send_textChanged();
    void on_pushButton_ARM_reset_clicked();
    void on_pushButton_erase_APP_clicked();
    void on_pushButton_jump_to_APP_clicked();
    void on_pushButton_GPU_power_on_clicked();
    void on_pushButton_GPU_power_off_clicked();
    void on_checkBox_GPU_power_draw_stateChanged(int arg1);
    void on_verticalSlider_GPU_FAN_speed_actionTriggered(int action);
    void on_pushButton_AD_write_reg_clicked();
    void on_pushButton_DA_write_reg_clicked();
    void on_pushButton_AD_init_clicked();
    void on_pushButton_DA_init_clicked();
    void on_pushButton_open_File_clicked();
    void on_pushButton_flash_clicked();

private:
    void ConfigSerialPort();
    void OpenSerialPort();
    void CloseSerialPort();
    QByteArray SerialPortUint8ArrayToQByteArray(const uint8_t *data, int length);
    void portOpened(const QString &portName);
    void portClosed();
    void portLost(bool reconnecting);
    void portReconnected(const QString &portName);
    void selectPortEntry(const QString &portName);
    int FindSerialPort();
    void updateComboBoxWidth();
    void CreateQSplineSeries();
    void UpdateChart(const QByteArray &serialPortDataOut);
    void showReceived(const ReceiveStream::Pieces &pieces);
    bool transmit(const QByteArray &data, SerialWriter::Urgency urgency);
    // A line for the user that the developer's debug output carries too.
    void reportLine(const QString &line);
    QString chooseImageFile();
    // Offers "<stem>-YYYYMMDD-HHMMSS.<suffix>" in the folder last saved to.
    QString chooseSaveFile(const QString &caption, const QString &stem, const QString &suffix);
    void createMenuActions();
    void startOrStopRecording(Recording *recording, bool start, const QString &caption, const QString &stem,
                              const QString &suffix);
    void stopRecordings();
    void saveLog();
    void copyChartRange();
    // Shows a control's lines and sends its bytes, in the control's order, or says
    // why it sends nothing.
    void sendCommand(const BoardCommand &command);
    void showCommandLines(const BoardCommand &command);
    void setLineControlsEnabled(bool enabled);
    void warnIfImageFileChanged();
    void flashFailed(const QString &sendError);
    void endFlash();
    void createLimitActions();
    void applyLimits(const CurveLimits::Set &limits);
    void watchLimits(qint64 sampleNumber, qint64 arrivalUs, const Telemetry::Sample &values);
    void showLimitEvents(const QList<LimitEvent> &events);
    void createTriggerActions();
    void createMqttActions();
    // The selected port's adapter serial number, else its name.
    QString defaultBoardName() const;

    Ui::MainWindow *ui;
    PortRegistry *const m_ports;
    LogPane *m_log = nullptr;
    PowerChart *m_chart = nullptr;
    ChartCursors *m_cursors = nullptr;
    RangeCsv *m_rangeCsv = nullptr;
    BoardSession *m_session = nullptr;
    FirmwareFlasher *m_flasher = nullptr;
    // The window was closed while the port let its queue go out.
    bool m_closeWhenPortClosed = false;
    WindowPreferences *m_preferences = nullptr;
    // What "打开文件" loaded, to tell the user when the file changed since.
    QString m_imagePath;
    qint64 m_imageSize = 0;
    QDateTime m_imageModified;
    ImageFileChooser m_imageFileChooser;
    SaveFileChooser m_saveFileChooser;
    Recording *m_telemetryRecording = nullptr;
    Recording *m_rawCapture = nullptr;
    StatusLine *m_status = nullptr;
    // When the read being shown was taken in: one clock reading per read, not per frame.
    QDateTime m_readTime;
    LimitWatch m_limitWatch;
    // The samples' arrival for the limit watch, on a clock that never steps.
    // Tells a chattering curve's count when no sample comes to.
    QTimer *m_limitSummaryTimer = nullptr;
    MqttFeed *m_mqtt = nullptr;
};

#endif // MAINWINDOW_H
