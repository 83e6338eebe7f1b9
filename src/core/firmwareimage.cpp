#include "core/firmwareimage.h"

#include "core/flashpackets.h"

#include <QCoreApplication>
#include <QFile>

FirmwareImage FirmwareImage::read(const QString &fileName)
{
    // Opening a named pipe blocks until someone writes to it, so anything that is
    // neither a regular file nor a directory (whose open fails with its own reason)
    // is refused before it is opened.
    const QFileInfo info(fileName);
    const QString notRegular = QCoreApplication::translate("MainWindow", "不是普通文件");
    if (info.exists() && !info.isFile() && !info.isDir())
        return { false, {}, notRegular };

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return { false, {}, file.errorString() };
    if (file.isSequential())
        return { false, {}, notRegular };

    const qint64 size = file.size();
    if (size > FlashPackets::maxImageSize)
        return { false, {}, QCoreApplication::translate("MainWindow", "文件过大: %1 字节, 烧录偏移为32位, 最多寻址 4 GiB").arg(size) };

    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return { false, {}, file.errorString() };
    if (data.size() != size)
        return { false, {}, QCoreApplication::translate("MainWindow", "读取不完整: 读到 %1 / %2 字节").arg(data.size()).arg(size) };
    // An empty file is an image too: its data is empty, never null, so that the
    // flash can tell it from no image at all.
    if (data.isNull())
        data = QByteArray("", 0);
    return { true, std::move(data), {} };
}

FirmwareImage::Description FirmwareImage::describe(const QFileInfo &info)
{
    return { info.fileName(), info.absoluteFilePath(), info.size(), info.birthTime(), info.lastModified() };
}

QString FirmwareImage::describeOpenFailure(const QString &fileName, const QString &error)
{
    return QCoreApplication::translate("MainWindow", "无法打开文件: %1\n错误: %2").arg(fileName, error);
}
