#ifndef CONSOLETEXT_H
#define CONSOLETEXT_H

#include <QString>

// The console's lines that more than one place says, composed once, so that the
// window and the command-line tool use the same words for the same event.
namespace ConsoleText {

QString noPortAvailable();   // "无可用串口"
QString portOpened();        // "串口打开成功"
QString portOpenFailed();    // "串口打开失败"
QString portClosed();        // "关闭串口"
QString portNotOpen();       // "串口未打开"
QString portLost();          // "串口已断开: 设备已断开连接"
QString portReconnected(const QString &portName);
QString reconnectFailed(const QString &reason);
QString sendFailed(const QString &reason);
// Bytes given to send that never reached the driver: a failed send's queue, or
// what the port still held when it closed.
QString unsentDropped(qint64 bytes);
// A close that waits for what was given to send to go out.
QString closeWaitsForUnsent(qint64 bytes);
QString flashSucceeded();    // "烧录成功！"
QString flashFailed();       // "烧录失败！"
QString flashBytesSent(qint64 sent, qint64 total);
QString imageEmpty();        // "错误: 固件文件为空"

} // namespace ConsoleText

#endif // CONSOLETEXT_H
