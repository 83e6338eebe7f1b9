#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A broken promise is as much a finding as a crash: name it, then abort so that
// libFuzzer writes the input out as a crash artifact.
#define FUZZ_REQUIRE(condition)                                                                  \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

namespace FuzzSupport {

// The first byte chooses how the rest becomes text: UTF-8 (whatever the user can
// type or paste), Latin-1 (every byte one character, which reaches the C1
// controls, NEL and the no-break space) or raw UTF-16 code units (lone
// surrogates included).
inline QString textFromBytes(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {};
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const auto length = qsizetype(size - 1);
    switch (data[0] % 3) {
    case 0:
        return QString::fromUtf8(bytes, length);
    case 1:
        return QString::fromLatin1(bytes, length);
    default: {
        QString text(length / 2, Qt::Uninitialized);
        std::memcpy(text.data(), bytes, size_t(text.size()) * sizeof(QChar));
        return text;
    }
    }
}

inline int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace FuzzSupport

#endif // FUZZSUPPORT_H
