#include "gui/recording.h"

#include "core/telemetrycsv.h"
#include "gui/logpane.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>

Recording::Recording(Kind kind, QAction *action, LogPane *log, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_action(action)
    , m_log(log)
    , m_file(kind == TelemetryRows ? RecordingFile::Lines : RecordingFile::RawBytes)
{
    connect(&m_file, &RecordingFile::failed, this, &Recording::fail);
}

bool Recording::start(const QString &fileName)
{
    if (!m_file.start(fileName)) {
        fail(m_file.errorString());
        return false;
    }
    const QString shown = QDir::toNativeSeparators(fileName);
    if (m_kind == TelemetryRows) {
        m_file.append(TelemetryCsv::header(), 0);
        m_log->appendLine(tr("开始记录遥测: %1").arg(shown));
    } else {
        m_log->appendLine(tr("开始记录原始数据: %1").arg(shown));
    }
    setChecked(true);
    return true;
}

void Recording::stop()
{
    setChecked(false);
    if (!m_file.isRecording() || !m_file.finish())
        return;
    const QString shown = QDir::toNativeSeparators(m_file.fileName());
    // A file whose folder was removed or moved meanwhile took every write all the same.
    if (!QFileInfo::exists(m_file.fileName())) {
        tellLoss(m_kind == TelemetryRows ? tr("停止记录遥测: 文件已不在 %1 (被删除或移走)").arg(shown)
                                         : tr("停止记录原始数据: 文件已不在 %1 (被删除或移走)").arg(shown));
        return;
    }
    if (m_kind == TelemetryRows)
        m_log->appendLine(tr("停止记录遥测: %1, 共 %2 行").arg(shown).arg(m_file.records()));
    else
        m_log->appendLine(tr("停止记录原始数据: %1, 共 %2 字节").arg(shown).arg(m_file.bytes()));
}

void Recording::recordFrame(const QDateTime &receivedAt, qint64 sampleNumber, const Telemetry::Sample &values)
{
    if (m_file.isRecording())
        m_file.append(TelemetryCsv::row(receivedAt, m_file.elapsedUs(), sampleNumber, values));
}

void Recording::recordBytes(QByteArrayView bytes)
{
    if (m_file.isRecording())
        m_file.append(bytes);
}

void Recording::fail(const QString &reason)
{
    setChecked(false);
    tellLoss(tr("记录失败: %1: %2").arg(QDir::toNativeSeparators(m_file.fileName()), reason));
}

// A recording stops when the window goes too, whose pane then shows nothing more:
// the debug output keeps what was lost.
void Recording::tellLoss(const QString &line)
{
    qDebug().noquote() << line;
    m_log->appendLine(line);
}

// The action's own toggling starts and stops the recording; this only shows its state.
void Recording::setChecked(bool checked)
{
    const QSignalBlocker blocker(m_action);
    m_action->setChecked(checked);
}
