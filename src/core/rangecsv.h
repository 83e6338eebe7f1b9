#ifndef RANGECSV_H
#define RANGECSV_H

#include "core/telemetry.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <vector>

class ChartHistory;

// Writes rows of the chart's history as CSV in the recording's format, header
// first, a slice at a time from the event loop: a million rows take seconds to
// format, and the window must go on reading the port meanwhile, or the driver
// drops what the board sends. The rows are taken out of the history when the copy
// starts, so samples that leave it meanwhile are still copied.
class RangeCsv : public QObject
{
    Q_OBJECT

public:
    // Longest the formatting holds the event loop at one turn.
    static constexpr int sliceMs = 5;

    explicit RangeCsv(QObject *parent = nullptr);

    // Drops a copy under way and starts on rows samples from sampleNumber on, those
    // of them the history keeps. The elapsed column counts from the first row, as
    // a recording's counts from its start.
    void start(const ChartHistory &history, qint64 sampleNumber, qint64 rows);
    bool isRunning() const { return m_slice.isActive(); }

signals:
    void finished(const QByteArray &csv, qint64 rows);

private:
    void formatSlice();

    // Copied out: the history goes on taking samples and dropping the oldest.
    std::vector<Telemetry::Sample> m_samples;
    std::vector<qint64> m_arrivalUs;
    qint64 m_firstSample = 0;
    size_t m_nextRow = 0;
    QByteArray m_csv;
    QTimer m_slice;
};

#endif // RANGECSV_H
