#ifndef FIRMWAREIMAGE_H
#define FIRMWAREIMAGE_H

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>

struct FirmwareImage
{
    bool ok = false;
    QByteArray data;
    QString error; // why the file was refused, for the "错误: %2" part

    // Reads the whole file, or refuses it: a file that cannot be opened, a device or
    // pipe (reading it would never end), an image too large for the packet offset
    // field, and a read that fails or comes back shorter than the file.
    static FirmwareImage read(const QString &fileName);

    // The lines that describe a loaded image in the log pane, in order. The pane reads
    // markup: the name and the path come escaped, shown as they are.
    static QStringList describe(const QFileInfo &info);

    // The log pane's line for a file that could not be opened: the name as given and
    // the reason, shown as they are, on two lines.
    static QString describeOpenFailure(const QString &fileName, const QString &error);
};

#endif // FIRMWAREIMAGE_H
