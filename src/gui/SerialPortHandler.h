#ifndef SERIALPORTHANDLER_H
#define SERIALPORTHANDLER_H

#include <QSerialPort>
#include <QStringList>

class QLineSeries;
class QValueAxis;

// The one serial port of the process: created before main, never deleted, its
// name changing on every open.
extern QSerialPort *serialPortInst;
// System names of the ports, in the order of the port selector's entries, which
// every window refills from the same platform list.
extern QStringList serialPortList;

// The newest window's chart axes and curves, for whoever inspects the chart from
// outside; the chart itself never reads them. Null once that window is gone.
extern QValueAxis *chartAxisX;
extern QValueAxis *chartAxisY;
extern QLineSeries *chartLineSeries[5];

#endif // SERIALPORTHANDLER_H
