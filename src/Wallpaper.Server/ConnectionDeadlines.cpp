#include "ConnectionDeadlines.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>

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
    m_connections[connection] = Watched{fd, Clock::now() + allowed, Cut::Reset, std::nullopt};
}

void ConnectionDeadlines::expectWithin(MHD_Connection *connection, Clock::duration allowed, Cut cut,
                                       std::optional<SentFile> file) {
    setDeadline(connection, Watched{-1, Clock::now() + allowed, cut, std::move(file)});
}

void ConnectionDeadlines::clear(MHD_Connection *connection) {
    setDeadline(connection, Watched{-1, Clock::time_point::max(), Cut::Close, std::nullopt});
}

void ConnectionDeadlines::setDeadline(MHD_Connection *connection, Watched watched) {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_connections.find(connection); found != m_connections.end()) {
        watched.fd = found->second.fd;
        found->second = std::move(watched);
    }
}

void ConnectionDeadlines::closed(MHD_Connection *connection) {
    const std::lock_guard lock(m_mutex);
    m_connections.erase(connection);
}

namespace {

bool shrunk(const ConnectionDeadlines::SentFile &file) {
    struct stat status = {};
    return ::fstatat(file.directory, file.name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           status.st_dev == file.device && status.st_ino == file.inode && status.st_size < file.length;
}

} // namespace

void ConnectionDeadlines::cut(Watched &watched) {
    // With no time to linger, the library's close() sends a reset and drops what is unsent.
    const linger reset = {1, 0};
    if (watched.cut == Cut::Reset)
        ::setsockopt(watched.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::shutdown(watched.fd, SHUT_RDWR);
    watched.deadline = Clock::time_point::max();
    watched.file.reset();
}

void ConnectionDeadlines::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_tick, [this] { return m_stopping; })) {
        const auto now = Clock::now();
        for (auto &[connection, watched] : m_connections) {
            if (watched.deadline <= now || (watched.file && shrunk(*watched.file)))
                cut(watched);
        }
    }
}

} // namespace lumivra::server
