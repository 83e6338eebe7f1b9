#ifndef SERIALPORTHANDLER_H
#define SERIALPORTHANDLER_H

#include <QLineSeries>
#include <QSerialPort>
#include <QStringList>
#include <QValueAxis>

// The one serial port of the process: created before main, never deleted, its
// name changing on every open.
extern QSerialPort *serialPortInst;
// System names of the ports, in the order of the port selector's entries.
extern QStringList serialPortList;

// The chart's axes and curves, owned by the chart once it is built.
extern QValueAxis *chartAxisX;
extern QValueAxis *chartAxisY;
extern QLineSeries *chartLineSeries[5];

// Longest a send may wait for its bytes to leave.
constexpr int serialPortWriteTimeoutMs = 30000;

#endif // SERIALPORTHANDLER_H
