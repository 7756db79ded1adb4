#pragma once

#include "WallpaperHttpServer.h"

#include <QByteArray>
#include <QDate>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace lumivra::test {

// One HTTP answer exactly as it came over the wire.
struct RawAnswer {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;                      // empty when the body was only counted and hashed
    qint64 bodyLength = 0;
    QByteArray bodySha256; // lower-case hex of the body as received
    bool complete = false; // the whole announced body arrived
    bool connectionCut = false;

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
    QJsonObject json() const;
};

enum class KeepBody { yes, no };

// Sends one request with a request target written byte for byte (no client-side normalisation of "..",
// percent-escapes or slashes) and reads the answer, while the calling thread's event loop keeps serving.
RawAnswer rawRequest(const QHostAddress &host, quint16 port, const QByteArray &method,
                     const QByteArray &target, const QList<QPair<QByteArray, QByteArray>> &headers = {},
                     KeepBody keep = KeepBody::yes);

// A wallpaper folder in a temporary directory and the service running on it, in this process, on a free
// loopback port.
class ServerFixture : public ::testing::Test {
protected:
    QString root() const { return m_dir.path(); }
    QString writeFile(const QString &name, const QByteArray &content) const;

    void start(std::optional<QDate> pinnedDate);
    quint16 port() const { return m_port; }

    RawAnswer get(const QByteArray &target, const QList<QPair<QByteArray, QByteArray>> &headers = {}) const {
        return rawRequest(QHostAddress::LocalHost, m_port, "GET", target, headers);
    }
    QJsonObject todayFor(const QDate &date); // restarts the service pinned to `date`
    // Today's answer once the service has caught up with a change to the folder: it asks to come back
    // (503) while it looks at a replaced picture again.
    RawAnswer settledToday() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<server::WallpaperHttpServer> m_server;
    quint16 m_port = 0;
};

} // namespace lumivra::test
