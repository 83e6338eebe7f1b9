#include "core/portopenfailure.h"

#include <QCoreApplication>

namespace PortOpenFailure {

QString reason(bool permissionError, const QString &portErrorText)
{
    if (!permissionError || portErrorText == QLatin1String("Permission error while creating lock file"))
        return portErrorText;
    if (portErrorText == QLatin1String("Permission denied"))
        return QCoreApplication::translate("MainWindow", "当前用户无权打开此串口: 在 Linux 上请把用户加入 dialout 组"
                                                         " (sudo usermod -aG dialout $USER), 然后注销并重新登录");
    return busyReason();
}

QString busyReason()
{
    return QCoreApplication::translate("MainWindow", "串口正被另一个程序占用, 请先在那个程序中关闭它");
}

} // namespace PortOpenFailure
