#ifndef FIRMWAREIMAGE_H
#define FIRMWAREIMAGE_H

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QString>

struct FirmwareImage
{
    bool ok = false;
    QByteArray data; // not null once read, even for an empty file
    QString error; // why the file was refused, for the "错误: %2" part

    // Reads the whole file, or refuses it: a file that cannot be opened, a device or
    // pipe (reading it would never end), an image too large for the packet offset
    // field, and a read that fails or comes back shorter than the file.
    static FirmwareImage read(const QString &fileName);

    // What the log pane tells about a loaded image.
    struct Description
    {
        QString fileName;
        QString absoluteFilePath;
        qint64 size = 0;
        QDateTime created; // invalid where the file system records no creation time
        QDateTime modified;
    };
    static Description describe(const QFileInfo &info);

    // The line for a file that could not be opened: the name as given and the
    // reason, on two lines.
    static QString describeOpenFailure(const QString &fileName, const QString &error);
};

#endif // FIRMWAREIMAGE_H
