#pragma once

namespace lumivra::server {

// Every connection costs a descriptor, two while it sends a picture; the soft limit (often 1024, or 256
// on macOS) would cap the service far below what the system allows. Raises it as far as the system lets
// this process go.
void raiseOpenFileLimit();

} // namespace lumivra::server
