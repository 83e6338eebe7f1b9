#ifndef PORTDISCOVERY_H
#define PORTDISCOVERY_H

#include "core/portlisting.h"

namespace PortDiscovery {

// The ports the platform reports, followed by those added with PortListing::addExtraPort.
QList<PortRecord> availablePorts();

// The platform's own list, which can take milliseconds to make.
QList<PortRecord> platformPorts();

// The added ports whose path exists now: the platform lists only devices that are
// there, and nothing lists a pty or a link to one.
QList<PortRecord> presentExtraPorts();

} // namespace PortDiscovery

#endif // PORTDISCOVERY_H
