#ifndef PORTOPENFAILURE_H
#define PORTOPENFAILURE_H

#include <QString>

namespace PortOpenFailure {

// The line shown under "串口打开失败", telling the user why the port did not open.
// QSerialPort reports a device the user has no rights to and a device another
// program holds with the same PermissionError, so its text tells them apart:
// "Permission denied" is Qt's own, never translated, wording of EACCES, which
// on Linux means the user is not in the group that owns serial adapters. Every
// other PermissionError means the port is taken (another QSerialPort's lock file,
// a tty opened exclusively, Windows' access denied on a COM port in use), bar a
// lock folder nobody may write to, which only the port's own words explain.
QString reason(bool permissionError, const QString &portErrorText);
// "串口正被另一个程序占用…": the port is taken by another program.
QString busyReason();

} // namespace PortOpenFailure

#endif // PORTOPENFAILURE_H
