#include "Wait.h"
#include "client/WallpaperAPIClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra::test;

namespace {

const QByteArray schedule =
    R"({"2027-05-01": "a picture.png", "2027-05-04": "gone.png", "2027-05-05": "../b.png"})";
const QByteArray todayPath = "/api/client/wallpaper/today",
                 closing = " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n", end = closing + "\r\n",
                 today = "GET " + todayPath + end;

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What came back on one connection until the server closed it, or "still open" after 20 s.
// A head left unfinished trickles on, a byte every 200 ms, as slow peers send.
QByteArray exchange(quint16 port, const QByteArray &bytes) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(bytes);
    for (int i = 0; i < 100 && socket.state() != QAbstractSocket::UnconnectedState; ++i) {
        socket.write(bytes.contains("\r\n\r\n") ? "" : "X");
        socket.waitForDisconnected(200);
    }
    return socket.state() == QAbstractSocket::UnconnectedState ? socket.readAll() : "still open";
}

// lumivra-server on a free loopback port, which it announces on its first line; stopped at the end with
// SIGTERM, as a service manager stops it.
struct Server : QProcess {
    explicit Server(const QStringList &options) {
        start(qEnvironmentVariable("LUMIVRA_SERVER_BINARY"), QStringList{"--listen=127.0.0.1:0"} + options);
        waitUntil([&] { return canReadLine() || state() == NotRunning; });
        port = readLine().split(':').last().trimmed().toUShort();
    }
    ~Server() override {
        terminate();
        waitForFinished();
    }
    quint16 port;
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeFile(root.filePath("a picture.png"), picture) &&
                    writeFile(root.filePath("b.png"), "b") &&
                    writeFile(root.filePath(".hidden.png"), "HIDDEN") &&
                    writeFile(root.filePath("schedule.json"), schedule) &&
                    QFile::link("/etc/passwd", root.filePath("link.png")));
    }
    QTemporaryDir root;
    const QByteArray picture = QByteArray(100'000, 'p') + "end";
};

TEST_F(ServerTest, TodaysRecordDescribesTheFileItServesAndFollowsTheFolder) {
    // A whole second, which a replacement below can restore exactly, as cp -p or tar do.
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1'700'000'000);
    QFile file(root.filePath("a picture.png"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) &&
                file.setFileTime(modified, QFileDevice::FileModificationTime));
    const Server server({"--root", root.path(), "--date", "2027-05-02"});
    QByteArray answer;
    const auto settle = [&] {
        EXPECT_TRUE(waitUntil([&] {
            answer = exchange(server.port, today);
            EXPECT_EQ(answer.startsWith("HTTP/1.1 503 "), answer.contains("\r\nRetry-After: 2\r\n"));
            return !answer.startsWith("HTTP/1.1 503 ");
        }));
        return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
    };
    // The digests are sha256sum's of the picture as written, and as replaced below.
    QJsonObject record = settle();
    EXPECT_GT(record.take("id").toInteger(), 0);
    EXPECT_EQ(QJsonDocument(record).toJson(QJsonDocument::Compact),
              R"({"contentType":"image/png","downloadUrl":"files/a%20picture.png",)"
              R"("effectiveDate":"2027-05-02","fileName":"a picture.png","length":100003,)"
              R"("sha256":"1b76766df309c2b9f96417cf7bb969a3fac7041b257fa2e71c6d74da26b5f087"})");
    EXPECT_TRUE(exchange(server.port, "GET /files/a%20picture.png" + end).endsWith("\r\n\r\n" + picture));
    const QByteArray match = "If-None-Match: " + answer.mid(answer.indexOf("ETag: ") + 6).split('\r').first();
    EXPECT_TRUE(exchange(server.port, today.chopped(2) + match + "\r\n\r\n").startsWith("HTTP/1.1 304 "));

    // Replaced with the same size and modification time.
    ASSERT_TRUE(file.write("q") && file.setFileTime(modified, QFileDevice::FileModificationTime));
    EXPECT_EQ(settle()["sha256"], "feaac0045802ec65263a1090288b416532a09b4c0727bc9f6c863ec10b2a9cfd");
    ASSERT_TRUE(root.remove());
    EXPECT_EQ(settle()["error"], "壁纸目录中还没有可用的壁纸。");
}

TEST_F(ServerTest, EveryOtherRequestIsAnsweredWithAReasonAndHostilePeersAreCutOff) {
    const QString scheduled = "排期文件 schedule.json 为 %1 指定的壁纸 %2 不存在或无法提供。";
    const QString invalid = "壁纸文件名无效：只能是壁纸目录中的一个文件名。";
    const QString post = "405 不支持的请求方法 POST：此地址只接受 GET 和 HEAD。";
    const QByteArray head = "GET " + todayPath + closing;
    // Options, what is sent, the status line's code and today's file name or the error ("" when the
    // connection was closed without an answer), and how many peers hold a connection with half a head while
    // this one comes. The default date is in the schedule.
    const QList<std::tuple<QStringList, QByteArray, QString, int>> rows{
        {{"--date", "2027-05-03"}, today, "200 b.png", 0},
        {{"--date", "2027-05-04"}, today, "404 " + scheduled.arg("2027-05-04", "gone.png"), 0},
        {{"--date", "2027-05-05"}, today, "500 " + scheduled.arg("2027-05-05", "../b.png"), 0},
        {{}, "GET /" + end, "404 找不到请求的地址：/。", 0},
        {{}, "GET /files/.hidden.png" + end, "404 找不到壁纸文件：.hidden.png。", 0},
        {{}, "GET /files/link.png" + end, "404 找不到壁纸文件：link.png。", 0},
        {{}, "GET /files/..%2F..%2F..%2F..%2F..%2F..%2F..%2Fetc%2Fpasswd" + end, "400 " + invalid, 0},
        {{}, "GET /files/b.png%00.png" + end, "400 " + invalid, 0},
        {{}, "POST " + todayPath + " HTTP/1.1\r\nHost: t\r\nContent-Length: 1073741824\r\n\r\nbody", post, 0},
        {{}, head + "X-Filler: " + QByteArray(40'000, 'a') + "\r\n\r\n", "431 ", 0},
        {{}, "GET /files/" + QByteArray(40'000, 'a') + end, "414 ", 0},
        {{"--head-timeout", "1"}, head, " ", 0},
        {{"--head-timeout", "1", "--max-connections", "2"}, today, "200 a picture.png", 2},
    };
    for (const auto &[options, request, want, idlePeers] : rows) {
        SCOPED_TRACE(request.left(80).toStdString());
        const Server server(QStringList{"--root", root.path(), "--date", "2027-05-01"} + options);
        QTcpSocket idle[2];
        for (int i = 0; i < idlePeers; ++i) {
            idle[i].connectToHost(QHostAddress::LocalHost, server.port);
            EXPECT_TRUE(idle[i].write(head) && idle[i].waitForBytesWritten());
        }
        const QByteArray answer = exchange(server.port, request);
        const QJsonObject got = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
        EXPECT_EQ(answer.split(' ').value(1) + ' ' + got["error"].toString(got["fileName"].toString()), want);
        EXPECT_EQ(answer.contains("\r\nAllow: GET, HEAD\r\n"), want.startsWith("405"));
        // There was room for this peer only once a slow one had lost its connection.
        EXPECT_TRUE(!idlePeers || idle[0].waitForDisconnected(0) || idle[1].waitForDisconnected(0));
        EXPECT_TRUE(exchange(server.port, "GET /files/b.png" + end).endsWith("\r\n\r\nb"));
    }
}

TEST_F(ServerTest, TheClientRefreshesFromTheServiceThenFromItsExportBehindNginxAtTheSameAddress) {
    QTemporaryDir downloads, exported, prefix;
    const auto refresh = [&](quint16 port) {
        const lumivra::WallpaperAPIClient client(QStringLiteral("http://127.0.0.1:%1").arg(port));
        const auto record = runTask(client.getTodayWallpaper());
        runTask(client.downloadWallpaper(record, downloads.filePath("today")));
        EXPECT_EQ(readFile(downloads.filePath("today")), readFile(root.filePath(record.fileName)));
        return port;
    };
    const quint16 port = refresh(Server({"--root", root.path()}).port);
    ASSERT_EQ(QProcess::execute(qEnvironmentVariable("LUMIVRA_SERVER_BINARY"),
                                {"export", "--root", root.path(), "--out", exported.path(), "--from",
                                 QDate::currentDate().addDays(-1).toString(Qt::ISODate), "--days", "3"}),
              0);

    // Debian's nginx with the shipped site, in one process that keeps all its files in `prefix`.
    const QString site = QString::fromUtf8(readFile(qEnvironmentVariable("LUMIVRA_SOURCE_DIR") +
                                                    "/packaging/nginx/lumivra.conf"))
                             .replace("listen 80;", QStringLiteral("listen 127.0.0.1:%1;").arg(port))
                             .replace("listen [::]:80;", "")
                             .replace("root /srv/lumivra;", "root " + exported.path() + ";");
    ASSERT_TRUE(writeFile(prefix.filePath("nginx.conf"),
                          "events {} http { access_log access.log; " + site.toUtf8() +
                              " client_body_temp_path t; proxy_temp_path t; fastcgi_temp_path t; "
                              "uwsgi_temp_path t; scgi_temp_path t; }"));
    QProcess nginx;
    nginx.start("/usr/sbin/nginx", {"-p", prefix.path(), "-c", prefix.filePath("nginx.conf"), "-g",
                                    "daemon off; master_process off; pid pid; error_log error.log;"});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(prefix.filePath("pid")); }));
    // The second time the client revalidates what it keeps.
    refresh(port);
    refresh(port);
    const QByteArray log = readFile(prefix.filePath("access.log"));
    EXPECT_TRUE(log.contains("\"GET /api/client/wallpaper/today HTTP/1.1\" 304 ")) << log.toStdString();
    nginx.terminate();
    EXPECT_TRUE(nginx.waitForFinished());
}

} // namespace
