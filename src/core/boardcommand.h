#ifndef BOARDCOMMAND_H
#define BOARDCOMMAND_H

#include "core/commandframes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// One board command as the console carries it out, worked out in one place for the
// window's control and for bench-ctl: the frame setters run on the frame given (the
// window gives the process-wide frames, so what a command leaves there is what the
// next send carries; bench-ctl gives its own copies), and the result is the bytes to
// send, the lines the window shows with them, or why nothing can be sent.
struct BoardCommand
{
    enum LineKind {
        Plain,      // what the console worked out
        UserAction, // what the user switched or sent, shown in orange
    };
    enum LineOrder { LinesBeforeSend, LinesAfterSend };

    QByteArray bytes; // nothing is sent when empty
    QStringList lines;
    LineKind lineKind = UserAction;
    LineOrder lineOrder = LinesBeforeSend;
    // Why nothing is sent: input the control could not hold.
    QString refusal;
    // The window drops this input without a word (an empty register field, a hex
    // send of white space only); a script is told all the same.
    bool silentInWindow = false;

    bool isRefused() const { return !refusal.isEmpty(); }

    static BoardCommand reset(const RESET_order_struct &frame);
    static BoardCommand erase(APP_order_struct &frame, int spinBoxValue);
    static BoardCommand jump(APP_order_struct &frame, int spinBoxValue);
    static BoardCommand gpuPower(GPU_POWER_order_struct &frame, bool on);
    static BoardCommand plotting(GPU_POWER_order_struct &frame, bool on);
    static BoardCommand fanSpeed(GPU_POWER_order_struct &frame, int sliderPosition);
    static BoardCommand registerInit(AD_DA_order_struct &frame, CommandFrames::RegisterHeader header);
    // The frame is left as it was when either field is refused.
    static BoardCommand registerWrite(AD_DA_order_struct &frame, CommandFrames::RegisterHeader header,
                                      const QString &address, const QString &value);
    // The send editor's text, as typed or as hex digits.
    static BoardCommand text(const QString &text);
    static BoardCommand hex(const QString &text);

    // A command given by name, as scripts give it ("fan 40", "ad-write 12AB CDEF"),
    // on copies of the process-wide frames as they stand, which are left untouched.
    // Values the window's controls could not hold (a spin box or slider past 0 to 99,
    // a register past FFFF, a character that is not hex) are refused.
    static BoardCommand parse(const QString &name, const QStringList &arguments);
    // "reset", "erase N", ...: the commands parse() knows, with their arguments.
    static QStringList synopses();
};

#endif // BOARDCOMMAND_H
