#ifndef CONSOLESETTINGS_H
#define CONSOLESETTINGS_H

#include "core/curvelimits.h"
#include "core/charttrigger.h"
#include "core/portidentity.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

// Where the window publishes to and whether it does. The password is kept only
// when the user asked for it to be.
struct MqttChoices
{
    QString url;
    QString board;
    QString password;
    bool rememberPassword = false;
    bool publishing = false;
};

// The user's choices, kept from one start to the next in the platform's standard
// place for the organisation and application names that main sets. A program that
// has not named itself (the tests, the demo) keeps nothing, so a bench user's file
// never leaks into them. Nothing the board sent is ever kept here.
//
// A file that cannot be read, does not parse, or was written by a newer console is
// ignored: the choices start from their defaults and problemLine() says why, once.
// A broken file is written over with the choices of this run; a newer one, and one
// that cannot be read, are left alone. A file that cannot be written (no rights, a
// file where its folder should be, a full disk) is said once, by save().
class ConsoleSettings
{
public:
    static constexpr int currentVersion = 1;

    // Keys other parts of the window share.
    static constexpr char lastFolderKey[] = "dialogs/lastFolder";
    // Holds englishLanguage when the user chose English; the console speaks
    // Chinese otherwise.
    static constexpr char languageKey[] = "language";
    static constexpr char englishLanguage[] = "en";

    ConsoleSettings();
    ~ConsoleSettings();
    ConsoleSettings(const ConsoleSettings &) = delete;
    ConsoleSettings &operator=(const ConsoleSettings &) = delete;

    // Empty when the file was used (or there was none yet).
    QString problemLine() const { return m_problemLine; }
    QString fileName() const;

    QVariant value(const QString &key, const QVariant &defaultValue = {}) const;
    void setValue(const QString &key, const QVariant &value);

    // Writes the choices out now. Empty when they were written, or when their loss
    // was said before: the first failure gives the line that says so. A file that
    // holds a password is made readable by its owner alone.
    QString save();

    PortIdentity port() const;
    void setPort(const PortIdentity &port);

    // A bound that is not a number, and a pair whose low is above its high, are
    // read as no limit at all on that curve.
    CurveLimits::Set limits() const;
    void setLimits(const CurveLimits::Set &limits);
    // A value out of its range, from a hand-edited file, reads as its default.
    ChartTrigger::Settings trigger() const;
    void setTrigger(const ChartTrigger::Settings &trigger);

    // A password is written only with rememberPassword; without it, one kept
    // before is removed.
    MqttChoices mqtt() const;
    void setMqtt(const MqttChoices &choices);

    // Forgets every choice: the next start is from the defaults.
    static void reset();

    // Whether the console named so was left speaking English, read without
    // creating or changing its file: for bench-ctl, which speaks as the console
    // does and keeps no choices of its own. A file from a newer console counts
    // for nothing, as it does in the console.
    static bool remembersEnglish(const QString &organisation, const QString &application);

private:
    std::unique_ptr<QSettings> m_read;
    // Null while choices must not be written (an unreadable or newer file).
    QSettings *m_write = nullptr;
    QString m_problemLine;
    bool m_saveFailureTold = false;
};

#endif // CONSOLESETTINGS_H
