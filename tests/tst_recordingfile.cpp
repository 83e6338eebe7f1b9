#include "core/recordingfile.h"

#include "coretestsupport.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestRecordingFile : public QObject
{
    Q_OBJECT

private slots:
    void keepsEveryByteInOrder();
    void flushesWhileRecording();
    void refusesAFileThatCannotBeMade_data();
    void refusesAFileThatCannotBeMade();
    void aFailedWriteStopsAndTellsOnce();
    void aWriteCutOffLeavesWholeLines_data();
    void aWriteCutOffLeavesWholeLines();

private:
    QTemporaryDir m_dir;
};

void TestRecordingFile::keepsEveryByteInOrder()
{
    const QString path = m_dir.filePath(QStringLiteral("capture.bin"));
    RecordingFile file;
    QVERIFY(file.start(path));
    QByteArray expected;
    // Past several blocks, in pieces of every size up to 300 bytes.
    for (int i = 0; expected.size() < 3 * RecordingFile::blockSize; ++i) {
        QByteArray piece(i % 300, char(i));
        file.append(piece);
        expected += piece;
    }
    QVERIFY(file.finish());
    QVERIFY(!file.isRecording());
    QCOMPARE(file.bytes(), expected.size());
    QVERIFY(TestSupport::readFile(path) == expected);
    // A finished file takes nothing more.
    file.append("more");
    QCOMPARE(QFileInfo(path).size(), expected.size());
}

void TestRecordingFile::flushesWhileRecording()
{
    const QString path = m_dir.filePath(QStringLiteral("rows.csv"));
    RecordingFile file;
    QVERIFY(file.start(path));
    file.append("a,b\n", 1);
    file.append("c,d\n", 1);
    QCOMPARE(file.records(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path).size(), 8, 2 * RecordingFile::flushIntervalMs + 1000);
    QVERIFY(file.isRecording());
}

void TestRecordingFile::refusesAFileThatCannotBeMade_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing folder") << QStringLiteral("missing/rows.csv");
    QTest::newRow("a folder") << QStringLiteral(".");
}

void TestRecordingFile::refusesAFileThatCannotBeMade()
{
    QFETCH(QString, path);
    RecordingFile file;
    QVERIFY(!file.start(m_dir.filePath(path)));
    QVERIFY(!file.errorString().isEmpty());
    QVERIFY(!file.isRecording());
}

void TestRecordingFile::aFailedWriteStopsAndTellsOnce()
{
    RecordingFile file;
    QSignalSpy failed(&file, &RecordingFile::failed);
    QVERIFY(file.start(QStringLiteral("/dev/full")));
    file.append(QByteArray(RecordingFile::blockSize, 'x'));
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.first().first().toString().contains(QStringLiteral("space"), Qt::CaseInsensitive));
    QVERIFY(!file.isRecording());
    file.append(QByteArray(RecordingFile::blockSize, 'x'));
    QVERIFY(!file.finish());
    QCOMPARE(failed.size(), 1);
}

void TestRecordingFile::aWriteCutOffLeavesWholeLines_data()
{
    QTest::addColumn<bool>("lines");
    QTest::newRow("lines: cut back to the last whole one") << true;
    QTest::newRow("raw bytes: as they reached the file") << false;
}

// A file size limit stops a write part-way, as a full disk does.
void TestRecordingFile::aWriteCutOffLeavesWholeLines()
{
    QFETCH(bool, lines);

    constexpr qint64 limit = 100003;
    const QString path = m_dir.filePath(QTest::currentDataTag()) + QStringLiteral(".csv");
    RecordingFile file(lines ? RecordingFile::Lines : RecordingFile::RawBytes);
    QSignalSpy failed(&file, &RecordingFile::failed);
    QVERIFY(file.start(path));
    const QByteArray row = "2024-05-01T10:00:00.000+02:00,0.001,7,1,2,3,4\n";
    {
        const TestSupport::FileSizeLimit limited(limit);
        QVERIFY(limited.isSet());
        while (failed.isEmpty() && file.records() < 10000)
            file.append(row);
    }
    QCOMPARE(failed.size(), 1);
    QCOMPARE(QFileInfo(path).size(), lines ? limit - limit % row.size() : limit);
}

QTEST_GUILESS_MAIN(TestRecordingFile)
#include "tst_recordingfile.moc"
