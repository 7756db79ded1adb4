#include "RawConnection.h"

#include <QJsonDocument>
#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace lumivra::test {

RawConnection::RawConnection(quint16 port, const QHostAddress &host) {
    sockaddr_storage address = {};
    socklen_t length = sizeof(sockaddr_in);
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::copy(std::begin(bytes.c), std::end(bytes.c), v6->sin6_addr.s6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(host.toIPv4Address());
    }
    m_fd = ::socket(address.ss_family, SOCK_STREAM, 0);
    // Programs the test starts later must not hold the connection open.
    ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), length);
}

RawConnection::RawConnection(RawConnection &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_received(std::move(other.m_received)) {}

RawConnection &RawConnection::operator=(RawConnection &&other) noexcept {
    std::swap(m_fd, other.m_fd);
    std::swap(m_received, other.m_received);
    return *this;
}

RawConnection::~RawConnection() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawConnection::send(const QByteArray &bytes) {
    return ::send(m_fd, bytes.constData(), size_t(bytes.size()), 0) == bytes.size();
}

void RawConnection::halfClose() {
    ::shutdown(m_fd, SHUT_WR);
}

bool RawConnection::readAvailable(std::chrono::milliseconds wait) {
    pollfd event{m_fd, POLLIN, 0};
    if (::poll(&event, 1, int(wait.count())) <= 0)
        return true;
    char buffer[65536];
    const ssize_t read = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (read > 0)
        m_received.append(buffer, read);
    return read > 0;
}

bool RawConnection::readToEnd(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        // A busy machine may be slow to begin its answer: only `limit` bounds the wait for the first byte.
        const qsizetype before = m_received.size();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (!readAvailable(before == 0 ? left : std::min(quiet, left)))
            return true;
        if (m_received.size() == before && before > 0)
            return false;
    }
    return false;
}

int RawConnection::status() const {
    return m_received.startsWith("HTTP/1.") ? m_received.mid(9, 3).toInt() : 0;
}

QByteArray RawConnection::header(const QByteArray &name) const {
    const QList<QByteArray> lines = m_received.left(m_received.indexOf("\r\n\r\n")).split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray RawConnection::body() const {
    const qsizetype end = m_received.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : m_received.mid(end + 4);
}

QJsonObject RawConnection::json() const {
    return QJsonDocument::fromJson(body()).object();
}

RawConnection rawRequest(quint16 port, const QByteArray &method, const QByteArray &target,
                         const QList<QPair<QByteArray, QByteArray>> &headers, const QHostAddress &host) {
    RawConnection connection(port, host);
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n";
    for (const auto &[name, value] : headers)
        request += name + ": " + value + "\r\n";
    connection.send(request + "\r\n");
    connection.readToEnd(10s, 2min);
    return connection;
}

} // namespace lumivra::test
