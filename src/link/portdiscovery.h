#ifndef PORTDISCOVERY_H
#define PORTDISCOVERY_H

#include "core/portlisting.h"

namespace PortDiscovery {

// The ports the platform reports, followed by those added with PortListing::addExtraPort.
QList<PortRecord> availablePorts();

} // namespace PortDiscovery

#endif // PORTDISCOVERY_H
