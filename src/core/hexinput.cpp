#include "core/hexinput.h"

#include <array>

namespace {

// A hex digit's value, or -1 for the white space the validator admits (the ASCII
// set of blank, tab, line feed, vertical tab, form feed and carriage return), or
// -2 for anything else.
constexpr int whiteSpace = -1;
constexpr int foreign = -2;

constexpr std::array<qint8, 128> asciiValues = [] {
    std::array<qint8, 128> values {};
    for (qint8 &value : values)
        value = foreign;
    for (char16_t c : { u' ', u'\t', u'\n', u'\v', u'\f', u'\r' })
        values[c] = whiteSpace;
    for (int i = 0; i < 10; ++i)
        values[u'0' + i] = qint8(i);
    for (int i = 0; i < 6; ++i) {
        values[u'A' + i] = qint8(10 + i);
        values[u'a' + i] = qint8(10 + i);
    }
    return values;
}();

int digitValue(char16_t c)
{
    return c < asciiValues.size() ? asciiValues[c] : foreign;
}

} // namespace

// One pass writing the digits and their bytes straight into buffers that cannot
// be too small: a send of a megabyte is three million characters, and the window
// waits for all of this.
HexInput HexInput::parse(const QString &text)
{
    QString normalised(text.size(), Qt::Uninitialized);
    QByteArray bytes(text.size() / 2, Qt::Uninitialized);
    char16_t *const firstDigit = reinterpret_cast<char16_t *>(normalised.data());
    char16_t *digit = firstDigit;
    char *byte = bytes.data();
    int high = -1;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        const int value = digitValue(c);
        if (value == whiteSpace)
            continue;
        if (value == foreign)
            return { HexInput::Invalid, {}, {} };
        *digit++ = c;
        if (high < 0) {
            high = value;
        } else {
            *byte++ = char(high << 4 | value);
            high = -1;
        }
    }
    const qsizetype digits = digit - firstDigit;
    if (digits == 0)
        return { HexInput::Blank, {}, {} };

    normalised.truncate(digits);
    if (high < 0) {
        bytes.truncate(digits / 2);
        return { HexInput::Ready, normalised, bytes };
    }
    // A lone leading digit is a byte of its own, which pairs every digit after it
    // the other way.
    normalised.prepend(u'0');
    return { HexInput::Ready, normalised, QByteArray::fromHex(normalised.toLatin1()) };
}

TextInput TextInput::encode(const QString &text)
{
    TextInput input;
    input.bytes = text.toLocal8Bit();
    input.charCount = text.size();
    input.hexEcho = QString::fromLatin1(input.bytes.toHex(' ').toUpper());
    return input;
}
