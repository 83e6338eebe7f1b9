#ifndef AVAILABLEPORTS_H
#define AVAILABLEPORTS_H

#include "portlisting.h"

// The ports the platform reports, followed by those added with addExtraPort.
QList<PortRecord> availablePortRecords();

#endif // AVAILABLEPORTS_H
