#ifndef RECORDING_H
#define RECORDING_H

#include "core/recordingfile.h"
#include "core/telemetry.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QObject>

class LogPane;
class QAction;

// One of the window's recordings, telemetry as CSV rows or the line's raw bytes,
// with the menu action that shows it running and the lines that tell the user
// when it starts, stops or fails. A failure stops only the recording.
class Recording : public QObject
{
    Q_OBJECT

public:
    enum Kind { TelemetryRows, RawBytes };

    Recording(Kind kind, QAction *action, LogPane *log, QObject *parent = nullptr);

    // Checks the action when recording began, unchecks it when not.
    bool start(const QString &fileName);
    // Completes the file; says so with what it holds.
    void stop();
    bool isRecording() const { return m_file.isRecording(); }
    const RecordingFile &file() const { return m_file; }

    void recordFrame(const QDateTime &receivedAt, qint64 sampleNumber, const Telemetry::Sample &values);
    void recordBytes(QByteArrayView bytes);

private:
    void fail(const QString &reason);
    void tellLoss(const QString &line);
    void setChecked(bool checked);

    const Kind m_kind;
    QAction *const m_action;
    LogPane *const m_log;
    RecordingFile m_file;
};

#endif // RECORDING_H
