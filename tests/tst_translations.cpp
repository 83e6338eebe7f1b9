// Every text that goes through the "MainWindow" lookup has its English: lupdate
// reads the sources afresh, and each text it finds must be finished, not empty,
// and keep the placeholders, in the committed translation.

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

struct Message
{
    QString source;
    QString translation;
    bool finished = false;
};

QList<Message> readTs(const QString &path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("message")) {
            message = {};
        } else if (xml.name() == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            message.translation = xml.readElementText();
            messages.append(message);
        }
    }
    return messages;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    static const QRegularExpression placeholder(QStringLiteral("%\\d"));
    for (auto match = placeholder.globalMatch(text); match.hasNext();)
        found.append(match.next().captured());
    found.sort();
    return found;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void everyTextHasEnglish();
};

void TestTranslations::everyTextHasEnglish()
{
    QTemporaryDir folder;
    const QString fresh = folder.filePath(QStringLiteral("fresh.ts"));
    QProcess lupdate;
    lupdate.start(QStringLiteral(LUPDATE), { QStringLiteral("-silent"), QStringLiteral(SOURCE_DIR), QStringLiteral("-ts"), fresh });
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);

    QHash<QString, Message> committed;
    for (const Message &message : readTs(QStringLiteral(TS_FILE)))
        committed.insert(message.source, message);
    const QList<Message> found = readTs(fresh);
    QVERIFY(found.size() > 50);
    QStringList untranslated;
    for (const Message &message : found) {
        const Message english = committed.value(message.source);
        if (!english.finished || english.translation.isEmpty()
            || placeholders(english.translation) != placeholders(message.source))
            untranslated.append(message.source);
    }
    QVERIFY2(untranslated.isEmpty(),
             qPrintable(QStringLiteral("without English (run scripts/update-translations.sh): ") + untranslated.join(QStringLiteral(" | "))));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
