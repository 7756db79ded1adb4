#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <chrono>

namespace lumivra::test {

// A client connection that sends bytes exactly as given (no normalisation of targets, headers or framing)
// and keeps everything that comes back, for talking to a server as no well-behaved client would. Blocking,
// every wait bounded, so it needs no event loop and can play many peers at once.
class RawConnection {
public:
    explicit RawConnection(quint16 port, const QHostAddress &host = QHostAddress(QHostAddress::LocalHost));
    RawConnection(RawConnection &&other) noexcept;
    RawConnection &operator=(RawConnection &&other) noexcept;
    ~RawConnection();
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    bool send(const QByteArray &bytes);
    void halfClose();
    // Reads what is there; false once the server has closed (or reset) the connection.
    bool readAvailable(std::chrono::milliseconds wait);
    // Reads until the server closes, or nothing more came for `quiet` once the answer began, or `limit`
    // passed. True if closed.
    bool readToEnd(std::chrono::milliseconds quiet = std::chrono::seconds(1),
                   std::chrono::milliseconds limit = std::chrono::seconds(10));

    const QByteArray &received() const { return m_received; }
    // The first answer received: its status (0 when none), a header by name in any case, what follows it.
    int status() const;
    QByteArray header(const QByteArray &name) const;
    QByteArray body() const;
    QJsonObject json() const;

private:
    int m_fd;
    QByteArray m_received;
};

// One request with "Connection: close", and the answer read until the server closes.
RawConnection rawRequest(quint16 port, const QByteArray &method, const QByteArray &target,
                         const QList<QPair<QByteArray, QByteArray>> &headers = {},
                         const QHostAddress &host = QHostAddress(QHostAddress::LocalHost));

} // namespace lumivra::test
