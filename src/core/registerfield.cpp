#include "core/registerfield.h"

namespace {

// -1 for anything that is not a hex digit
int hexDigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

RegisterField RegisterField::parse(const QString &text)
{
    QString digits = text.trimmed();
    if (digits.isEmpty())
        return { RegisterField::Empty, 0 };

    digits.remove(QChar(u' '), Qt::CaseSensitive);
    // "0x" only as a prefix: one anywhere else would hide a typing slip
    // ("A0x5" is not A5).
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits.remove(0, 2);
    if (digits.isEmpty())
        return { RegisterField::Invalid, 0 };

    quint32 value = 0;
    for (const QChar c : std::as_const(digits)) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return { RegisterField::Invalid, 0 };
        value = (value << 4) | quint32(digit);
        if (value > 0xFFFF)
            return { RegisterField::Invalid, 0 };
    }
    return { RegisterField::Valid, quint16(value) };
}
