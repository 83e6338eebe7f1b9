#ifndef REGISTERFIELD_H
#define REGISTERFIELD_H

#include <QString>

// Text of one AD/DA register field, as the write buttons read it.
struct RegisterField
{
    enum Status {
        Empty,   // nothing but white space: the write is dropped without a word
        Invalid, // not a 16-bit base-16 number: the write is refused
        Valid,
    };

    Status status = Empty;
    quint16 value = 0;

    // Trims the ends, removes every blank and one leading "0x" (any case), and accepts
    // what is left only when it is one to four significant hex digits worth at most FFFF.
    static RegisterField parse(const QString &text);
};

#endif // REGISTERFIELD_H
