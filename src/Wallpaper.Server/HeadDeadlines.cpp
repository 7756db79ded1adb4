#include "HeadDeadlines.h"

#include <sys/socket.h>

namespace lumivra::server {

HeadDeadlines::HeadDeadlines(std::chrono::milliseconds tick) : m_tick(tick), m_thread([this] { run(); }) {}

HeadDeadlines::~HeadDeadlines() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void HeadDeadlines::opened(MHD_Connection *connection, int fd, Clock::duration allowed) {
    const std::lock_guard lock(m_mutex);
    m_connections[connection] = Watched{fd, Clock::now() + allowed};
}

void HeadDeadlines::headComplete(MHD_Connection *connection) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_connections.find(connection); found != m_connections.end())
        found->second.deadline = Clock::time_point::max();
}

void HeadDeadlines::awaitNextHead(MHD_Connection *connection, Clock::duration allowed) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_connections.find(connection); found != m_connections.end())
        found->second.deadline = Clock::now() + allowed;
}

void HeadDeadlines::closed(MHD_Connection *connection) {
    const std::lock_guard lock(m_mutex);
    m_connections.erase(connection);
}

void HeadDeadlines::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_tick, [this] { return m_stopping; })) {
        const auto now = Clock::now();
        for (auto &[connection, watched] : m_connections) {
            if (watched.deadline <= now) {
                ::shutdown(watched.fd, SHUT_RDWR);
                watched.deadline = Clock::time_point::max();
            }
        }
    }
}

} // namespace lumivra::server
