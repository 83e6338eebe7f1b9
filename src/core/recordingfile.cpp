#include "core/recordingfile.h"

RecordingFile::RecordingFile(Content content, QObject *parent)
    : QObject(parent)
    , m_content(content)
{
    m_flushTimer.setInterval(flushIntervalMs);
    // The file is unbuffered: what leaves the buffer reaches the system at once.
    connect(&m_flushTimer, &QTimer::timeout, this, &RecordingFile::writeBuffer);
}

RecordingFile::~RecordingFile()
{
    finish();
}

bool RecordingFile::start(const QString &fileName)
{
    finish();
    m_file.setFileName(fileName);
    return begin(m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered));
}

bool RecordingFile::start(std::FILE *stream)
{
    finish();
    return begin(m_file.open(stream, QIODevice::WriteOnly | QIODevice::Unbuffered));
}

bool RecordingFile::begin(bool opened)
{
    m_error.clear();
    m_records = 0;
    m_bytes = 0;
    m_bytesInFile = 0;
    m_buffer.clear();
    if (!opened) {
        m_error = m_file.errorString();
        return false;
    }
    m_buffer.reserve(2 * blockSize);
    m_clock.start();
    m_flushTimer.start();
    return true;
}

void RecordingFile::append(QByteArrayView bytes, qint64 records)
{
    if (!m_file.isOpen())
        return;
    m_buffer.append(bytes);
    m_records += records;
    m_bytes += bytes.size();
    if (m_buffer.size() >= blockSize)
        writeBuffer();
}

bool RecordingFile::finish()
{
    if (!m_file.isOpen())
        return m_error.isEmpty();
    const bool written = writeBuffer();
    if (written)
        m_file.close();
    m_flushTimer.stop();
    return written;
}

bool RecordingFile::writeBuffer()
{
    qsizetype done = 0;
    while (done < m_buffer.size()) {
        const qint64 n = m_file.write(m_buffer.constData() + done, m_buffer.size() - done);
        if (n <= 0) {
            if (m_content == Lines)
                cutToWholeLines(done);
            return fail();
        }
        done += n;
    }
    m_bytesInFile += done;
    // Keeps the capacity: the next block fills the same memory.
    m_buffer.resize(0);
    // A stream opened elsewhere has a buffer of its own in the C library.
    return m_file.flush() || fail();
}

// The file is closed and failed() told, once.
bool RecordingFile::fail()
{
    m_error = m_file.errorString();
    m_buffer.clear();
    m_file.close();
    m_flushTimer.stop();
    emit failed(m_error);
    return false;
}

// The buffer begins where a line began: whatever the failed write left after the
// last line feed it got out is half a line.
void RecordingFile::cutToWholeLines(qsizetype writtenOfBuffer)
{
    if (writtenOfBuffer == 0)
        return;
    const qsizetype lastFeed = m_buffer.lastIndexOf('\n', writtenOfBuffer - 1);
    const qsizetype whole = lastFeed + 1;
    if (whole < writtenOfBuffer)
        m_file.resize(m_bytesInFile + whole);
}
