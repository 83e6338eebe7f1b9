#ifndef RECORDINGFILE_H
#define RECORDINGFILE_H

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <cstdio>

// A file that a recording appends to as things arrive: a telemetry CSV or the raw
// bytes of the line. Appending only copies into memory, so a port delivering
// 9216 frames a second never waits for the disk; the memory goes out in blocks,
// and at least every flushIntervalMs so that a crash loses little.
//
// The first write that fails ends the recording: the reason is kept and told once.
// A write cut off part-way (a full disk, a file size limit) leaves raw bytes as they
// reached the file, and a file of lines cut back to its last whole line, so that a
// CSV never ends in half a row.
class RecordingFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int flushIntervalMs = 500;
    static constexpr qsizetype blockSize = 256 * 1024;

    // Lines: every append() ends with a line feed.
    enum Content { RawBytes, Lines };

    explicit RecordingFile(Content content = RawBytes, QObject *parent = nullptr);
    ~RecordingFile() override;

    // Creates or truncates the file; false with errorString() when it cannot.
    bool start(const QString &fileName);
    // Records into a stream that is open already (standard output), which
    // finish() leaves open.
    bool start(std::FILE *stream);
    // One or more records (CSV rows, or reads of raw bytes); ignored when not recording.
    void append(QByteArrayView bytes, qint64 records = 1);
    // Writes what is kept in memory and closes the file; false when that failed.
    bool finish();

    bool isRecording() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }
    QString errorString() const { return m_error; }
    qint64 records() const { return m_records; }
    qint64 bytes() const { return m_bytes; }
    // Since start(), for the elapsed column and the status bar.
    qint64 elapsedUs() const { return m_clock.isValid() ? m_clock.nsecsElapsed() / 1000 : 0; }

signals:
    // The recording ended on a write error; the file is closed.
    void failed(const QString &reason);

private:
    bool begin(bool opened);
    bool writeBuffer();
    void cutToWholeLines(qsizetype writtenOfBuffer);
    bool fail();

    const Content m_content;
    QFile m_file;
    QByteArray m_buffer;
    QTimer m_flushTimer;
    QElapsedTimer m_clock;
    QString m_error;
    qint64 m_records = 0;
    qint64 m_bytes = 0;
    // What the file holds: every byte before the buffer.
    qint64 m_bytesInFile = 0;
};

#endif // RECORDINGFILE_H
