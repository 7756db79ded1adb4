#pragma once

namespace lumivra::server {

// Makes SIGTERM and SIGINT end the event loop of the application instead of killing the process, so
// open transfers are dropped and the listening socket closed in an orderly way. Call once, after the
// QCoreApplication exists.
void quitOnTerminationSignals();

} // namespace lumivra::server
