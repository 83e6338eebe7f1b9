#include "core/firmwareimage.h"

#include "core/flashpackets.h"

#include <QDateTime>
#include <QFile>

namespace {

// The log pane takes a line as markup when it looks like markup, and as plain
// text otherwise. Text the user named (a file name, a path) is escaped and kept
// in a span so that it always reads as markup, shown exactly as typed: "<b>" and
// "&amp;" alike, spaces and line breaks kept.
QString textMarkup(const QString &text)
{
    return QStringLiteral("<span style=\"white-space:pre-wrap\">%1</span>").arg(text.toHtmlEscaped());
}

} // namespace

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
        QStringLiteral("文件名: ") + textMarkup(info.fileName()),
        QStringLiteral("文件路径: ") + textMarkup(info.absoluteFilePath()),
        QStringLiteral("文件大小: ") + QString::number(info.size()) + QStringLiteral(" 字节"),
        QStringLiteral("创建时间: ") + info.birthTime().toLocalTime().toString(format),
        QStringLiteral("修改时间: ") + info.lastModified().toLocalTime().toString(format),
    };
}

QString FirmwareImage::describeOpenFailure(const QString &fileName, const QString &error)
{
    return textMarkup(QStringLiteral("无法打开文件: %1\n错误: %2").arg(fileName, error));
}
