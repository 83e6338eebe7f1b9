#include "core/hexinput.h"

namespace {

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The white space the validator admits: the ASCII set of blank, tab, line feed,
// vertical tab, form feed and carriage return.
bool isAsciiWhiteSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

} // namespace

// One pass over the text, checking and keeping the digits together: a send of a
// megabyte is two million characters, which a regular expression per separator
// would take a quarter of a second over while the window waits.
HexInput HexInput::parse(const QString &text)
{
    QString normalised;
    normalised.reserve(text.size() + 1);
    for (const QChar c : text) {
        if (isHexDigit(c.unicode()))
            normalised.append(c);
        else if (!isAsciiWhiteSpace(c.unicode()))
            return { HexInput::Invalid, {}, {} };
    }
    if (normalised.isEmpty())
        return { HexInput::Blank, {}, {} };
    if (normalised.size() % 2 != 0)
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
