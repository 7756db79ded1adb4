#include "ServerFixture.h"

#include "Wait.h"

#include <QFile>

namespace lumivra::test {

QString ServerFixture::writeFile(const QString &name, const QByteArray &content) const {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

void ServerFixture::start(std::optional<QDate> pinnedDate) {
    m_server.reset();
    m_server = std::make_unique<server::WallpaperHttpServer>(root(), pinnedDate);
    QString error;
    // The same port again, so an address a client keeps stays valid.
    const auto port = m_server->listenOn(QHostAddress::LocalHost, m_port, &error);
    ASSERT_TRUE(port) << error.toStdString();
    m_port = *port;
}

RawConnection ServerFixture::settledToday() const {
    std::optional<RawConnection> answer;
    waitUntil([&] {
        answer = get("/api/client/wallpaper/today");
        return answer->status() != 503;
    });
    return std::move(*answer);
}

QJsonObject ServerFixture::todayFor(const QDate &date) {
    start(date);
    const RawConnection answer = get("/api/client/wallpaper/today");
    EXPECT_EQ(answer.status(), 200) << answer.body().toStdString();
    return answer.json();
}

} // namespace lumivra::test
