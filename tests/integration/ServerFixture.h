#pragma once

#include "RawConnection.h"
#include "WallpaperHttpServer.h"

#include <QDate>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace lumivra::test {

// A wallpaper folder in a temporary directory and the service running on it, in this process, on a free
// loopback port.
class ServerFixture : public ::testing::Test {
protected:
    QString root() const { return m_dir.path(); }
    QString writeFile(const QString &name, const QByteArray &content) const;

    // (Re)starts the service, on the port it had before if it ran already.
    void start(std::optional<QDate> pinnedDate);
    quint16 port() const { return m_port; }

    RawConnection get(const QByteArray &target,
                      const QList<QPair<QByteArray, QByteArray>> &headers = {}) const {
        return rawRequest(m_port, "GET", target, headers);
    }
    QJsonObject todayFor(const QDate &date); // restarts the service pinned to `date`
    // Today's answer once the service has caught up with a change to the folder: it asks to come back
    // (503) while it looks at a replaced picture again.
    RawConnection settledToday() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<server::WallpaperHttpServer> m_server;
    quint16 m_port = 0;
};

} // namespace lumivra::test
