// One AD/DA register field's text as the write buttons read it.
//
// Input: one byte choosing the text's encoding, then the text (see fuzzsupport.h).

#include "fuzzsupport.h"
#include "core/registerfield.h"

namespace {

struct Expected
{
    RegisterField::Status status;
    quint16 value;
};

// The rule worked out again on plain UTF-16: white space off both ends, every
// blank out, one leading "0x" in any case out, then one to any number of hex
// digits whose value fits 16 bits.
Expected expectedField(const QString &text)
{
    const std::u16string all = text.toStdU16String();
    size_t begin = 0;
    size_t end = all.size();
    while (begin < end && QChar(all[begin]).isSpace())
        ++begin;
    while (end > begin && QChar(all[end - 1]).isSpace())
        --end;
    if (begin == end)
        return { RegisterField::Empty, 0 };

    std::u16string withoutBlanks;
    for (size_t i = begin; i < end; ++i) {
        if (all[i] != u' ')
            withoutBlanks += all[i];
    }
    const bool prefixed = withoutBlanks.size() >= 2 && withoutBlanks[0] == u'0'
        && (withoutBlanks[1] == u'x' || withoutBlanks[1] == u'X');
    const std::u16string digits = withoutBlanks.substr(prefixed ? 2 : 0);
    if (digits.empty())
        return { RegisterField::Invalid, 0 };

    int significantDigits = 0;
    quint32 value = 0;
    for (const char16_t c : digits) {
        const int digit = FuzzSupport::hexDigitValue(c);
        if (digit < 0)
            return { RegisterField::Invalid, 0 };
        if (value != 0 || digit != 0)
            ++significantDigits;
        if (significantDigits > 4)
            return { RegisterField::Invalid, 0 };
        value = value * 16 + quint32(digit);
    }
    return { RegisterField::Valid, quint16(value) };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzSupport::textFromBytes(data, size);
    const RegisterField field = RegisterField::parse(text);
    const Expected expected = expectedField(text);

    FUZZ_REQUIRE((field.status == RegisterField::Empty) == text.trimmed().isEmpty());
    FUZZ_REQUIRE(field.status == expected.status);
    FUZZ_REQUIRE(field.value == expected.value);
    if (field.status != RegisterField::Valid)
        FUZZ_REQUIRE(field.value == 0);
    return 0;
}
