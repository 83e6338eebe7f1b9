#include "firmwareimage.h"

#include "flashpackets.h"

#include <QDateTime>
#include <QFile>

FirmwareImage FirmwareImage::read(const QString &fileName)
{
    // Opening a named pipe blocks until someone writes to it, so anything that is
    // neither a regular file nor a directory (whose open fails with its own reason)
    // is refused before it is opened.
    const QFileInfo info(fileName);
    const QString notRegular = QStringLiteral("不是普通文件");
    if (info.exists() && !info.isFile() && !info.isDir())
        return { false, {}, notRegular };

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return { false, {}, file.errorString() };
    if (file.isSequential())
        return { false, {}, notRegular };

    const qint64 size = file.size();
    if (size > FlashPackets::maxImageSize)
        return { false, {}, QStringLiteral("文件过大: %1 字节, 烧录偏移为32位, 最多寻址 4 GiB").arg(size) };

    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return { false, {}, file.errorString() };
    if (data.size() != size)
        return { false, {}, QStringLiteral("读取不完整: 读到 %1 / %2 字节").arg(data.size()).arg(size) };
    return { true, std::move(data), {} };
}

QStringList FirmwareImage::describe(const QFileInfo &info)
{
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return {
        QStringLiteral("\n=== 文件信息 ==="),
        QStringLiteral("文件名: ") + info.fileName(),
        QStringLiteral("文件路径: ") + info.absoluteFilePath(),
        QStringLiteral("文件大小: ") + QString::number(info.size()) + QStringLiteral(" 字节"),
        QStringLiteral("创建时间: ") + info.birthTime().toLocalTime().toString(format),
        QStringLiteral("修改时间: ") + info.lastModified().toLocalTime().toString(format),
    };
}
