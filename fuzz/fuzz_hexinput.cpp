// The send editor's text in hex mode and in text mode.
//
// Input: one byte choosing the text's encoding, then the text (see fuzzsupport.h).

#include "fuzzsupport.h"
#include "core/hexinput.h"

#include <QByteArray>

namespace {

// The white space the hex validator lets through: the ASCII set only.
bool isAsciiWhiteSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

char upperHexDigit(int nibble)
{
    return "0123456789ABCDEF"[nibble];
}

void checkHexMode(const QString &text)
{
    bool foreignCharacter = false;
    QString digits;
    for (const QChar c : text) {
        if (FuzzSupport::hexDigitValue(c.unicode()) >= 0)
            digits += c;
        else if (!isAsciiWhiteSpace(c.unicode()))
            foreignCharacter = true;
    }

    const HexInput hex = HexInput::parse(text);
    FUZZ_REQUIRE((hex.status == HexInput::Invalid) == foreignCharacter);
    FUZZ_REQUIRE((hex.status == HexInput::Blank) == (!foreignCharacter && digits.isEmpty()));
    if (hex.status != HexInput::Ready) {
        FUZZ_REQUIRE(hex.normalised.isEmpty() && hex.bytes.isEmpty());
        return;
    }

    // The digits as typed, in order and letter case, a lone leading digit made a
    // byte of its own.
    if (digits.size() % 2 != 0)
        digits.prepend(u'0');
    FUZZ_REQUIRE(hex.normalised == digits);
    FUZZ_REQUIRE(hex.normalised.size() % 2 == 0);
    FUZZ_REQUIRE(hex.bytes.size() == hex.normalised.size() / 2);
    for (qsizetype i = 0; i < hex.bytes.size(); ++i) {
        const int high = FuzzSupport::hexDigitValue(hex.normalised.at(2 * i).unicode());
        const int low = FuzzSupport::hexDigitValue(hex.normalised.at(2 * i + 1).unicode());
        FUZZ_REQUIRE(uint8_t(hex.bytes.at(i)) == high * 16 + low);
    }
    FUZZ_REQUIRE(QByteArray::fromHex(hex.normalised.toLatin1()) == hex.bytes);
    FUZZ_REQUIRE(QString::fromLatin1(hex.bytes.toHex()).compare(hex.normalised, Qt::CaseInsensitive) == 0);
}

void checkTextMode(const QString &text)
{
    const TextInput input = TextInput::encode(text);
    FUZZ_REQUIRE(input.charCount == text.size());
    // Qt 6 on Unix takes UTF-8 for the local 8-bit encoding; nothing is trimmed
    // or added. (What stands in for a lone surrogate is the encoder's business.)
    if (text.isValidUtf16())
        FUZZ_REQUIRE(input.bytes == text.toUtf8());

    const qsizetype byteCount = input.bytes.size();
    FUZZ_REQUIRE(input.hexEcho.size() == (byteCount == 0 ? 0 : 3 * byteCount - 1));
    for (qsizetype i = 0; i < byteCount; ++i) {
        const auto byte = uint8_t(input.bytes.at(i));
        FUZZ_REQUIRE(input.hexEcho.at(3 * i) == QLatin1Char(upperHexDigit(byte >> 4)));
        FUZZ_REQUIRE(input.hexEcho.at(3 * i + 1) == QLatin1Char(upperHexDigit(byte & 0xF)));
        if (i + 1 < byteCount)
            FUZZ_REQUIRE(input.hexEcho.at(3 * i + 2) == u' ');
    }
    FUZZ_REQUIRE(QByteArray::fromHex(input.hexEcho.toLatin1()) == input.bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzSupport::textFromBytes(data, size);
    checkHexMode(text);
    checkTextMode(text);
    return 0;
}
