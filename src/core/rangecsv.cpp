#include "core/rangecsv.h"

#include "core/charthistory.h"
#include "core/telemetrycsv.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <utility>

RangeCsv::RangeCsv(QObject *parent)
    : QObject(parent)
{
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &RangeCsv::formatSlice);
}

void RangeCsv::start(const ChartHistory &history, qint64 sampleNumber, qint64 rows)
{
    m_firstSample = history.copyRange(sampleNumber, sampleNumber + rows, m_samples, m_arrivalUs);
    m_nextRow = 0;
    m_csv = TelemetryCsv::header();
    // A row of the recording's takes about 60 bytes.
    m_csv.reserve(m_csv.size() + qsizetype(m_samples.size()) * 64);
    m_slice.start();
}

void RangeCsv::formatSlice()
{
    QElapsedTimer clock;
    clock.start();
    const qint64 startUs = m_arrivalUs.empty() ? 0 : m_arrivalUs.front();
    while (m_nextRow < m_samples.size() && clock.elapsed() < sliceMs) {
        // The clock is read once every 256 rows: a row takes microseconds.
        for (const size_t sliceEnd = std::min(m_samples.size(), m_nextRow + 256); m_nextRow < sliceEnd; ++m_nextRow) {
            const qint64 arrivalUs = m_arrivalUs[m_nextRow];
            m_csv += TelemetryCsv::row(QDateTime::fromMSecsSinceEpoch(arrivalUs / 1000), arrivalUs - startUs,
                                       m_firstSample + qint64(m_nextRow), m_samples[m_nextRow]);
        }
    }
    if (m_nextRow < m_samples.size())
        return;
    m_slice.stop();
    const qint64 rows = qint64(m_samples.size());
    m_samples = {};
    m_arrivalUs = {};
    emit finished(std::exchange(m_csv, QByteArray()), rows);
}
