#ifndef TELEMETRYCSV_H
#define TELEMETRYCSV_H

#include "core/telemetry.h"

#include <QByteArray>
#include <QDateTime>

// The telemetry recording format shared by the window and bench-ctl: UTF-8, LF
// line ends, '.' as the decimal point whatever the locale, one row per frame.
// Values are written as the decimals the readings stand for (49.05, not the
// 49.050000000000004 that 109 * 0.45 gives in binary).
namespace TelemetryCsv {

QByteArray header();

// receivedAt: when the frame was taken in, written as ISO 8601 with milliseconds
// and its UTC offset; elapsedUs: since the recording started; sample: the
// frame's number on the chart's X axis.
QByteArray row(const QDateTime &receivedAt, qint64 elapsedUs, qint64 sample, const Telemetry::Sample &values);

QByteArray timestamp(const QDateTime &dateTime);
QByteArray number(double value);

} // namespace TelemetryCsv

#endif // TELEMETRYCSV_H
