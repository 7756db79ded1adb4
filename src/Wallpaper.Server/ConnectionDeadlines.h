#pragma once

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <thread>
#include <unordered_map>

struct MHD_Connection;

namespace lumivra::server {

// Cuts connections that do not finish a request head, or take an answer, in time. The HTTP library only
// knows an inactivity time-out, which a client sending or reading one byte a second never reaches; this
// keeps a deadline per connection and, when it passes, shuts the socket down, which the library then sees
// as the client going away. A cut that is the client's fault resets the connection, so that the system
// drops what it still holds for a client that reads too slowly, rather than trickling it out after the
// service has let go (nginx's reset_timedout_connection); a kept-alive connection left idle closes in the
// ordinary way, after whatever of the last answer is still on its way.
//
// It also watches each picture being sent: sendfile stops writing once the file has shrunk under the
// answer, and the library then waits for the inactivity time-out, leaving the client waiting for bytes
// that will never come; the connection is cut instead.
//
// The library reports connections opening and closing on its threads; the socket is shut down (never
// closed) while the connection is still registered, so a descriptor number reused by a later connection
// cannot be hit.
class ConnectionDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit ConnectionDeadlines(std::chrono::milliseconds tick);
    ~ConnectionDeadlines();
    ConnectionDeadlines(const ConnectionDeadlines &) = delete;
    ConnectionDeadlines &operator=(const ConnectionDeadlines &) = delete;

    enum class Cut { Close, Reset };

    // A picture going out, by the folder it is in and its name there: a shrink in place keeps both.
    struct SentFile {
        int directory = -1;
        QByteArray name;
        dev_t device = 0;
        ino_t inode = 0;
        off_t length = 0;
    };

    // The request head must be complete within `allowed`.
    void opened(MHD_Connection *connection, int fd, Clock::duration allowed);
    // What the client does next (taking an answer, sending the next head) must be done within `allowed`.
    void expectWithin(MHD_Connection *connection, Clock::duration allowed, Cut cut,
                      std::optional<SentFile> file = std::nullopt);
    // The service itself has the next move.
    void clear(MHD_Connection *connection);
    void closed(MHD_Connection *connection);

private:
    struct Watched {
        int fd = -1;
        Clock::time_point deadline = Clock::time_point::max();
        Cut cut = Cut::Reset;
        std::optional<SentFile> file;
    };
    void setDeadline(MHD_Connection *connection, Watched watched);
    static void cut(Watched &watched);
    void run();

    std::chrono::milliseconds m_tick;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::unordered_map<MHD_Connection *, Watched> m_connections;
    std::thread m_thread;
};

} // namespace lumivra::server
