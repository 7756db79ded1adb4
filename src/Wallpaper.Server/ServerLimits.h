#pragma once

#include <chrono>
#include <cstddef>

namespace lumivra::server {

// The bounds one client, or many, can push the service to. Each is a deliberate choice; tests shorten the
// times so that they can watch them fire.
struct ServerLimits {
    // The request line and headers must arrive whole within this time of the connection opening, however
    // slowly the bytes trickle in.
    std::chrono::milliseconds headTimeout = std::chrono::seconds(20);
    // A kept-alive connection must bring its next complete request head within this time of the last answer.
    std::chrono::milliseconds keepAliveTimeout = std::chrono::seconds(15);
    // A connection on which nothing moves in either direction for this long is closed (a client that asks
    // for a picture and never reads it). Whole seconds: that is what the HTTP library counts in.
    std::chrono::seconds inactivityTimeout = std::chrono::seconds(30);
    // Memory per connection for the request head and the answer's head; a request head beyond it (about
    // 30 KiB, as much as nginx allows by default) is refused. libmicrohttpd maps larger pools page by page
    // and clears them for every request, which halves the requests served.
    std::size_t connectionMemory = 32 * 1024;
    // Connections served at once; more are closed on arrival. Also kept below the open-file limit, so that
    // accepting never fails and spins.
    unsigned maxConnections = 2000;
    // How often the folder is looked at again for new, removed or replaced pictures and schedule edits.
    std::chrono::milliseconds rescanInterval = std::chrono::seconds(2);
};

} // namespace lumivra::server
