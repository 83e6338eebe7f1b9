#include "core/telemetrycsv.h"

#include <QLocale>

#include <cstdlib>

namespace TelemetryCsv {

QByteArray header()
{
    QByteArray line = QByteArrayLiteral("timestamp,elapsed_s,sample");
    for (const char *name : Telemetry::seriesNames)
        line += ',' + QByteArray(name);
    return line + '\n';
}

QByteArray timestamp(const QDateTime &dateTime)
{
    // Qt::ISODateWithMs writes "Z" for UTC and nothing for a time without a zone;
    // every row carries its offset in one form.
    const int offsetMinutes = dateTime.offsetFromUtc() / 60;
    const int absoluteMinutes = std::abs(offsetMinutes);
    return dateTime.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")).toLatin1()
        + (offsetMinutes < 0 ? '-' : '+')
        + QByteArray::number(absoluteMinutes / 60).rightJustified(2, '0') + ':'
        + QByteArray::number(absoluteMinutes % 60).rightJustified(2, '0');
}

QByteArray number(double value)
{
    // QByteArray::number is locale-independent.
    return QByteArray::number(Telemetry::rounded(value), 'g', QLocale::FloatingPointShortest);
}

QByteArray row(const QDateTime &receivedAt, qint64 elapsedUs, qint64 sample, const Telemetry::Sample &values)
{
    const qint64 absoluteUs = std::llabs(elapsedUs);
    QByteArray line = timestamp(receivedAt);
    line += ',';
    if (elapsedUs < 0)
        line += '-';
    line += QByteArray::number(absoluteUs / 1000000) + '.'
        + QByteArray::number(absoluteUs % 1000000).rightJustified(6, '0');
    line += ',' + QByteArray::number(sample);
    for (const double value : values)
        line += ',' + number(value);
    line += '\n';
    return line;
}

} // namespace TelemetryCsv
