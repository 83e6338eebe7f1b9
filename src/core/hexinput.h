#ifndef HEXINPUT_H
#define HEXINPUT_H

#include <QByteArray>
#include <QString>

// What the send editor's text becomes in hex mode.
struct HexInput
{
    enum Status {
        Invalid, // a character other than a hex digit or white space
        Blank,   // white space only: nothing to send, nothing to say
        Ready,
    };

    Status status = Blank;
    QString normalised; // digits only, even length, as typed (letter case kept)
    QByteArray bytes;

    // Every white space character is dropped before the odd-length test, so a line
    // break between two bytes never shifts the digits into a leading zero byte.
    static HexInput parse(const QString &text);
};

// What the send editor's text becomes in text mode.
struct TextInput
{
    QByteArray bytes;  // local 8-bit encoding, exactly as typed
    qsizetype charCount = 0;
    QString hexEcho;   // "41 42 0A": upper-case pairs separated by one blank

    static TextInput encode(const QString &text);
};

#endif // HEXINPUT_H
