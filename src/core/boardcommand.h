#ifndef BOARDCOMMAND_H
#define BOARDCOMMAND_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// A board command given by name, as scripts give it ("fan 40", "ad-write 12AB CDEF"),
// turned into the bytes the window's matching control sends: the same frame setters,
// register-field and manual-send rules, starting from the process-wide frames as they
// stand, which are left untouched. Values the window's controls could not hold (a spin
// box or slider past 0 to 99, a register past FFFF, a character that is not hex) are
// refused with the reason, in the window's words where it has them.
struct BoardCommand
{
    QByteArray bytes;
    QString error;      // empty when the command is sound
    QString windowLine; // the status line the window shows for this control, if any

    bool isValid() const { return error.isEmpty(); }

    static BoardCommand parse(const QString &name, const QStringList &arguments);
    // "reset", "erase N", ...: the commands parse() knows, with their arguments.
    static QStringList synopses();
};

#endif // BOARDCOMMAND_H
