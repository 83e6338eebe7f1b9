#include "coretestsupport.h"
#include "imageassembly.h"

#include <QTest>

using Hole = QPair<quint32, quint32>;
using TestSupport::imageWithoutFF;

class TestImageAssembly : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void packetsAssembled_data();
    void packetsAssembled();
    void crc32KnownVectors_data();
    void crc32KnownVectors();
};

void TestImageAssembly::packetsAssembled_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QList<quint32>>("offsets");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("outOfOrder");
    QTest::addColumn<int>("overlapping");
    QTest::addColumn<QList<Hole>>("holes");
    QTest::addColumn<QStringList>("notes");

    QTest::newRow("two full packets in order") << imageWithoutFF(64) << QList<quint32> { 0, 32 } << 64 << 0 << 0
                                               << QList<Hole> {} << QStringList {};
    QTest::newRow("short last packet padded with FF") << imageWithoutFF(33) << QList<quint32> { 0, 32 } << 33 << 0 << 0
                                                      << QList<Hole> {} << QStringList {};
    QTest::newRow("ten byte image") << imageWithoutFF(10) << QList<quint32> { 0 } << 10 << 0 << 0 << QList<Hole> {}
                                    << QStringList {};
    QTest::newRow("missing packet leaves a gap") << imageWithoutFF(96) << QList<quint32> { 0, 64 } << 96 << 0 << 0
                                                 << QList<Hole> { { 32, 63 } }
                                                 << QStringList { "skips 32 bytes after offset 32" };
    QTest::newRow("out of order filled in") << imageWithoutFF(96) << QList<quint32> { 32, 0, 64 } << 96 << 1 << 0
                                            << QList<Hole> {}
                                            << QStringList { "skips 32 bytes after offset 0",
                                                             "out of order, expected offset 64",
                                                             "skips 32 bytes after offset 32" };
    QTest::newRow("packet sent twice") << imageWithoutFF(96) << QList<quint32> { 0, 32, 32, 64 } << 96 << 1 << 1
                                       << QList<Hole> {}
                                       << QStringList { "out of order, expected offset 64",
                                                        "overlaps 32 bytes already received (same data)" };
    QTest::newRow("unaligned overlap") << imageWithoutFF(48) << QList<quint32> { 0, 16 } << 48 << 1 << 1 << QList<Hole> {}
                                       << QStringList { "out of order, expected offset 32",
                                                        "overlaps 16 bytes already received (same data)" };
    QByteArray endsInFf = imageWithoutFF(40);
    endsInFf[37] = char(0xFF);
    endsInFf[38] = char(0xFF);
    endsInFf[39] = char(0xFF);
    QTest::newRow("image ending in FF is taken shorter") << endsInFf << QList<quint32> { 0, 32 } << 37 << 0 << 0
                                                         << QList<Hole> {} << QStringList {};
    QTest::newRow("FF inside an earlier packet is kept") << QByteArray(32, char(0xFF)) + imageWithoutFF(4)
                                                         << QList<quint32> { 0, 32 } << 36 << 0 << 0 << QList<Hole> {}
                                                         << QStringList {};
    QTest::newRow("only the highest packet is trimmed") << imageWithoutFF(32) + QByteArray(32, char(0xFF))
                                                        << QList<quint32> { 0, 32 } << 32 << 0 << 0 << QList<Hole> {}
                                                        << QStringList {};
}

void TestImageAssembly::packetsAssembled()
{
    QFETCH(QByteArray, source);
    QFETCH(QList<quint32>, offsets);
    QFETCH(int, size);
    QFETCH(int, outOfOrder);
    QFETCH(int, overlapping);
    QFETCH(QList<Hole>, holes);
    QFETCH(QStringList, notes);

    ImageAssembly assembly;
    QStringList allNotes;
    for (const quint32 offset : std::as_const(offsets)) {
        // The packet's payload, padded with 0xFF as the console pads its last one.
        const QByteArray payload = TestSupport::updatePacket(offset, source.mid(offset)).mid(8);
        allNotes += assembly.add(offset, payload).notes();
    }

    QByteArray expected = source.left(size);
    for (const Hole &hole : std::as_const(holes))
        expected.replace(hole.first, hole.second - hole.first + 1, QByteArray(hole.second - hole.first + 1, char(0xFF)));
    QCOMPARE(assembly.bytes(), expected);
    QCOMPARE(assembly.packets(), offsets.size());

    const ImageReport report = assembly.report();
    QCOMPARE(report.size, qsizetype(size));
    QCOMPARE(report.crc32, ImageAssembly::crc32(expected));
    QCOMPARE(report.packets, offsets.size());
    QCOMPARE(report.outOfOrderPackets, outOfOrder);
    QCOMPARE(report.overlappingPackets, overlapping);
    QCOMPARE(report.holes, holes);
    QCOMPARE(allNotes, notes);
}

void TestImageAssembly::crc32KnownVectors_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("crc");

    QTest::newRow("check value") << QByteArray("123456789") << 0xCBF43926u;
    QTest::newRow("empty") << QByteArray() << 0x00000000u;
    QTest::newRow("one letter") << QByteArray("a") << 0xE8B7BE43u;
    QTest::newRow("pangram") << QByteArray("The quick brown fox jumps over the lazy dog") << 0x414FA339u;
    QTest::newRow("32 bytes FF") << QByteArray(32, char(0xFF)) << 0xFF6CAB0Bu;
}

void TestImageAssembly::crc32KnownVectors()
{
    QFETCH(QByteArray, data);
    QFETCH(quint32, crc);

    QCOMPARE(ImageAssembly::crc32(data), crc);
}

QTEST_GUILESS_MAIN(TestImageAssembly)

#include "tst_imageassembly.moc"
