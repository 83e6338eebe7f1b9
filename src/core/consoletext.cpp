#include "core/consoletext.h"

#include <QCoreApplication>

namespace ConsoleText {

QString noPortAvailable()
{
    return QCoreApplication::translate("MainWindow", "无可用串口");
}

QString portOpened()
{
    return QCoreApplication::translate("MainWindow", "串口打开成功");
}

QString portOpenFailed()
{
    return QCoreApplication::translate("MainWindow", "串口打开失败");
}

QString portClosed()
{
    return QCoreApplication::translate("MainWindow", "关闭串口");
}

QString portNotOpen()
{
    return QCoreApplication::translate("MainWindow", "串口未打开");
}

QString portLost()
{
    return QCoreApplication::translate("MainWindow", "串口已断开: 设备已断开连接");
}

QString portReconnected(const QString &portName)
{
    return QCoreApplication::translate("MainWindow", "串口已重新连接: %1").arg(portName);
}

QString reconnectFailed(const QString &reason)
{
    return QCoreApplication::translate("MainWindow", "串口重新连接失败: %1").arg(reason);
}

QString sendFailed(const QString &reason)
{
    return QCoreApplication::translate("MainWindow", "发送失败: ") + reason;
}

QString unsentDropped(qint64 bytes)
{
    return QCoreApplication::translate("MainWindow", "未发出的 %1 字节已丢弃").arg(bytes);
}

QString closeWaitsForUnsent(qint64 bytes)
{
    return QCoreApplication::translate("MainWindow", "关闭串口前等待 %1 字节发出 (再按 close 立即关闭并丢弃它们)").arg(bytes);
}

QString flashSucceeded()
{
    return QCoreApplication::translate("MainWindow", "烧录成功！");
}

QString flashFailed()
{
    return QCoreApplication::translate("MainWindow", "烧录失败！");
}

QString flashBytesSent(qint64 sent, qint64 total)
{
    return QCoreApplication::translate("MainWindow", "已发送 %1/%2 字节").arg(sent).arg(total);
}

QString imageEmpty()
{
    return QCoreApplication::translate("MainWindow", "错误: 固件文件为空");
}

} // namespace ConsoleText
