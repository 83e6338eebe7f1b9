#include "core/hexinput.h"

#include <QRegularExpression>

HexInput HexInput::parse(const QString &text)
{
    static const QRegularExpression nonHex(QStringLiteral("[^0-9A-Fa-f\\s]"));
    // PCRE will not search malformed UTF-16 at all, so a lone surrogate would
    // otherwise slip through unchecked.
    if (!text.isValidUtf16() || nonHex.match(text).hasMatch())
        return { HexInput::Invalid, {}, {} };

    // The validator's \s is the ASCII set, so these are the only separators left.
    static const QRegularExpression whiteSpace(QStringLiteral("\\s"));
    QString normalised = text;
    normalised.remove(whiteSpace);
    if (normalised.isEmpty())
        return { HexInput::Blank, {}, {} };
    if (normalised.size() % 2 != 0)
        normalised.prepend(u'0');
    return { HexInput::Ready, normalised, QByteArray::fromHex(normalised.toUtf8()) };
}

TextInput TextInput::encode(const QString &text)
{
    TextInput input;
    input.bytes = text.toLocal8Bit();
    input.charCount = text.size();
    input.hexEcho = QString::fromLatin1(input.bytes.toHex(' ').toUpper());
    return input;
}
