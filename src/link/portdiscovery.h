#ifndef PORTDISCOVERY_H
#define PORTDISCOVERY_H

#include "core/portlisting.h"

namespace PortDiscovery {

// The ports the platform reports, followed by those added with PortListing::addExtraPort.
QList<PortRecord> availablePorts();

// As availablePorts, but an added port only while its path exists: the platform
// lists only devices that are there, and nothing lists a pty or a link to one.
QList<PortRecord> presentPorts();

} // namespace PortDiscovery

#endif // PORTDISCOVERY_H
