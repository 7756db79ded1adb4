#include "ConnectionDeadlines.h"

#include <sys/socket.h>

namespace lumivra::server {

ConnectionDeadlines::ConnectionDeadlines(std::chrono::milliseconds tick)
    : m_tick(tick), m_thread([this] { run(); }) {}

ConnectionDeadlines::~ConnectionDeadlines() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ConnectionDeadlines::opened(MHD_Connection *connection, int fd, Clock::duration allowed) {
    const std::lock_guard lock(m_mutex);
    m_connections[connection] = Watched{fd, Clock::now() + allowed, Cut::Reset};
}

void ConnectionDeadlines::expectWithin(MHD_Connection *connection, Clock::duration allowed, Cut cut) {
    setDeadline(connection, Clock::now() + allowed, cut);
}

void ConnectionDeadlines::clear(MHD_Connection *connection) {
    setDeadline(connection, Clock::time_point::max(), Cut::Close);
}

void ConnectionDeadlines::setDeadline(MHD_Connection *connection, Clock::time_point deadline, Cut cut) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_connections.find(connection); found != m_connections.end()) {
        found->second.deadline = deadline;
        found->second.cut = cut;
    }
}

void ConnectionDeadlines::closed(MHD_Connection *connection) {
    const std::lock_guard lock(m_mutex);
    m_connections.erase(connection);
}

void ConnectionDeadlines::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_tick, [this] { return m_stopping; })) {
        const auto now = Clock::now();
        for (auto &[connection, watched] : m_connections) {
            if (watched.deadline <= now) {
                // With no time to linger, the library's close() sends a reset and drops what is unsent.
                const linger reset = {1, 0};
                if (watched.cut == Cut::Reset)
                    ::setsockopt(watched.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                ::shutdown(watched.fd, SHUT_RDWR);
                watched.deadline = Clock::time_point::max();
            }
        }
    }
}

} // namespace lumivra::server
