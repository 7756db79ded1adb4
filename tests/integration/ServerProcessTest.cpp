#include "ServerProcess.h"

#include "RawConnection.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using lumivra::test::RawConnection;
using lumivra::test::rawRequest;
using lumivra::test::serverBinary;
using lumivra::test::ServerProcess;

namespace {

QJsonObject fetchJson(const QString &url) {
    const QUrl address(url);
    const RawConnection answer =
        rawRequest(quint16(address.port()), "GET", address.path().toUtf8(), {}, QHostAddress(address.host()));
    EXPECT_EQ(answer.status(), 200) << url.toStdString();
    return answer.json();
}

class ServerProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(serverBinary())) << "LUMIVRA_SERVER_BINARY not set to the built server";
        QFile picture(m_root.filePath(QStringLiteral("picture.png")));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("png bytes");
    }
    QTemporaryDir m_root;
};

TEST_F(ServerProcessTest, AnnouncesAFreePortServesThePinnedDayAndStopsOnSigterm) {
    ServerProcess server({"--root", m_root.path(), "--listen", "127.0.0.1:0", "--date", "2027-02-03"});
    const QString url = server.waitForUrl();
    ASSERT_TRUE(url.startsWith(QStringLiteral("http://127.0.0.1:"))) << url.toStdString();
    EXPECT_NE(QUrl(url).port(), 0);

    const QJsonObject record = fetchJson(url + QStringLiteral("/api/client/wallpaper/today"));
    EXPECT_EQ(record.value("effectiveDate").toString(), "2027-02-03");
    EXPECT_EQ(record.value("fileName").toString(), "picture.png");

    server.process().terminate(); // SIGTERM
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST_F(ServerProcessTest, ListensOnIpv6LoopbackWhenAsked) {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    probe.close();

    ServerProcess server({"--root", m_root.path(), "--listen", "[::1]:0"});
    const QString url = server.waitForUrl();
    ASSERT_TRUE(url.startsWith(QStringLiteral("http://[::1]:"))) << url.toStdString();
    EXPECT_EQ(fetchJson(url + QStringLiteral("/api/client/wallpaper/today")).value("fileName").toString(),
              "picture.png");
}

TEST_F(ServerProcessTest, ServesTheBundledSamplesByDefault) {
    ServerProcess server({"--listen", "127.0.0.1:0"});
    const QString url = server.waitForUrl();
    ASSERT_FALSE(url.isEmpty());
    const QDate before = QDate::currentDate();
    const QJsonObject record = fetchJson(url + QStringLiteral("/api/client/wallpaper/today"));
    const QDate served = QDate::fromString(record.value("effectiveDate").toString(), Qt::ISODate);
    EXPECT_TRUE(served == before || served == QDate::currentDate()) << served.toString().toStdString();
    EXPECT_TRUE(record.value("contentType").toString().startsWith(QStringLiteral("image/")));
    EXPECT_GT(record.value("length").toInteger(), 0);
}

TEST_F(ServerProcessTest, RefusesToStartWithAClearReason) {
    QString error;
    EXPECT_EQ(ServerProcess({"--root", m_root.filePath(QStringLiteral("missing"))}).waitForExit(&error), 1);
    EXPECT_TRUE(error.contains(m_root.filePath(QStringLiteral("missing")))) << error.toStdString();

    EXPECT_EQ(ServerProcess({"--root", m_root.path(), "--listen", "127.0.0.1"}).waitForExit(&error), 2);
    EXPECT_TRUE(error.contains(QStringLiteral("--listen"))) << error.toStdString();
    EXPECT_EQ(ServerProcess({"--root", m_root.path(), "--listen", "::1:80"}).waitForExit(&error), 2);
    EXPECT_EQ(ServerProcess({"--root", m_root.path(), "--date", "2027-02-30"}).waitForExit(&error), 2);
    EXPECT_TRUE(error.contains(QStringLiteral("--date"))) << error.toStdString();
    EXPECT_EQ(ServerProcess({"--root", m_root.path(), "--colour"}).waitForExit(&error), 2);

    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, 0));
    const QString taken = QStringLiteral("127.0.0.1:%1").arg(busy.serverPort());
    EXPECT_EQ(ServerProcess({"--root", m_root.path(), "--listen", taken}).waitForExit(&error), 1);
    EXPECT_TRUE(error.contains(taken)) << error.toStdString();
}

} // namespace
