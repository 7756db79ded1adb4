#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

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
    // for a picture and never reads it). Whole seconds: that is what the HTTP library counts in. It is also
    // the longest wait between two writes of an answer.
    std::chrono::seconds inactivityTimeout = std::chrono::seconds(30);
    // An answer must be out within this grace time plus its size at this rate, so that a client reading a
    // few bytes at a time, which resets the inactivity time-out with every write, cannot keep its
    // connection for hours. 16 KiB/s is below any link a person would fetch pictures over.
    std::chrono::milliseconds sendGrace = std::chrono::seconds(30);
    std::uint64_t minimumSendRate = std::uint64_t{16} * 1024; // bytes per second
    // Memory per connection for the request head and the answer's head; a request head beyond it (about
    // 14 KiB, far more than any client of the service sends, and more than the 8 KiB nginx allows one
    // header line) is refused. The library clears all of it for every request, so every connection keeps
    // all of it resident: with 32 KiB the service held 50 to 67 MiB at 1000 connections (freed pools
    // scatter over the threads' heaps), with 16 KiB 34 to 38 MiB. It maps pools over 32 KiB page by page,
    // which halves the requests served.
    std::size_t connectionMemory = std::size_t{16} * 1024;
    // Connections served at once; more wait to be accepted. Also kept below what the open-file limit allows
    // (two descriptors each, for a picture being sent), so that neither accepting nor opening a picture
    // runs out.
    unsigned maxConnections = 2000;
    // Connections one client address may hold at once; more are closed on arrival. A household, an office
    // or a carrier's shared address rarely has this many clients fetching at the same moment, and one
    // machine cannot take every connection.
    unsigned maxConnectionsPerAddress = 128;
    // How often the folder is looked at again for new, removed or replaced pictures and schedule edits.
    std::chrono::milliseconds rescanInterval = std::chrono::seconds(2);
};

} // namespace lumivra::server
