#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

struct MHD_Connection;

namespace lumivra::server {

// Cuts connections whose request head is not complete in time. The HTTP library only knows an inactivity
// time-out, which a client sending one byte a second never reaches; this keeps a deadline per connection
// and, when it passes, shuts the socket down, which the library then sees as the client going away.
//
// The library reports connections opening and closing on its own thread; the socket is shut down (never
// closed) while the connection is still registered, so a descriptor number reused by a later connection
// cannot be hit.
class HeadDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit HeadDeadlines(std::chrono::milliseconds tick);
    ~HeadDeadlines();
    HeadDeadlines(const HeadDeadlines &) = delete;
    HeadDeadlines &operator=(const HeadDeadlines &) = delete;

    void opened(MHD_Connection *connection, int fd, Clock::duration allowed);
    void headComplete(MHD_Connection *connection);
    void awaitNextHead(MHD_Connection *connection, Clock::duration allowed);
    void closed(MHD_Connection *connection);

private:
    struct Watched {
        int fd = -1;
        Clock::time_point deadline = Clock::time_point::max();
    };
    void run();

    std::chrono::milliseconds m_tick;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::unordered_map<MHD_Connection *, Watched> m_connections;
    std::thread m_thread;
};

} // namespace lumivra::server
