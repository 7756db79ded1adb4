#include "Wait.h"
#include "client/WallpaperAPIClient.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrl>
#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <sys/inotify.h>
#include <thread>

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

// Runs `lumivra-server export` into `out`: its exit code and what it said. An answer must show under its
// name only once it is whole and has its time.
std::pair<int, QString> runExport(const QString &out, const QStringList &arguments) {
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_TRUE(QDir(out).mkpath("today") &&
                ::inotify_add_watch(watch, QFile::encodeName(out + "/today").constData(),
                                    IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_TO) >= 0);
    QProcess exporter;
    exporter.start(qEnvironmentVariable("LUMIVRA_SERVER_BINARY"),
                   QStringList{"export", "--out", out} + arguments);
    exporter.waitForFinished(120'000);
    alignas(inotify_event) std::array<char, 1 << 16> events{};
    for (ssize_t size = 0, at = 0; (size = ::read(watch, events.data(), events.size())) > 0; at = 0)
        for (const inotify_event *event = nullptr; at < size;
             at += ssize_t(sizeof(inotify_event) + event->len)) {
            event = reinterpret_cast<const inotify_event *>(events.data() + at);
            EXPECT_TRUE(event->mask == IN_MOVED_TO || !QByteArray(event->name).endsWith(".json"))
                << event->name;
        }
    ::close(watch);
    return {exporter.exitCode(), QString::fromUtf8(exporter.readAllStandardError())};
}

TEST_F(ServerTest, AnExportPublishesEveryServableDayAndOnlyBytesThatHaveTheirDigest) {
    QTemporaryDir exported, versions;
    const QDir out(exported.path());
    const QByteArray published = QFile::encodeName(root.filePath("a picture.png")),
                     swapped = QFile::encodeName(root.filePath("swap"));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(writeFile(versions.filePath(QString::number(i)), QByteArray(2 << 20, char('0' + i))));
    const auto tamper = [&] {
        QDirIterator copy(out.filePath("files"), {"a picture.png"}, QDir::Files,
                          QDirIterator::Subdirectories);
        const QString file = copy.next();
        ASSERT_TRUE(writeFile(file, QByteArray(readFile(file).size(), 'x')));
    };
    // What happens to the folder first, the arguments, the days that cannot be served (the schedule names a
    // missing picture and an invalid name), how many answers and pictures the tree then holds (-1: any), and
    // whether the picture is replaced again and again, as a sync tool would, while it is exported.
    const QStringList may{"--from", "2027-05-01", "--days", "6"}, unservable{"2027-05-04", "2027-05-05"};
    const QList<std::tuple<std::function<void()>, QStringList, QStringList, int, int, bool>> rows{
        {[] {}, may, unservable, 4, 2, false},
        // A published picture with other bytes of the same size is put right.
        {tamper, may, unservable, 4, 2, false},
        {[&] { ASSERT_TRUE(QFile::remove(root.filePath("b.png"))); },
         {"--from", "2027-05-06", "--days", "2", "--prune"},
         {},
         2,
         1,
         false},
        {[] {}, {"--from", "2027-06-01", "--days", "30"}, {}, 32, -1, true},
    };
    for (const auto &[before, arguments, failedDays, answers, pictures, swapping] : rows) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        before();
        std::atomic<bool> exporting = true;
        std::thread swapper([&, swapping = swapping] {
            for (int i = 0; swapping && exporting; ++i)
                if (::link(QFile::encodeName(versions.filePath(QString::number(i % 4))).constData(),
                           swapped.constData()) == 0)
                    ::rename(swapped.constData(), published.constData());
        });
        const auto [exitCode, said] = runExport(out.path(), QStringList{"--root", root.path()} + arguments);
        exporting = false;
        swapper.join();
        EXPECT_EQ(exitCode, failedDays.isEmpty() ? 0 : 1) << said.toStdString();
        for (const QString &day : failedDays)
            EXPECT_TRUE(said.contains(day + ": ")) << said.toStdString();
        int count = 0;
        for (QDirIterator file(out.filePath("files"), QDir::Files, QDirIterator::Subdirectories);
             file.hasNext();)
            count += !file.next().isEmpty();
        EXPECT_TRUE(pictures < 0 || count == pictures) << count;
        // Every answer names a file whose bytes have its digest, and its time (Last-Modified) lies before
        // its day starts anywhere, in UTC+14 first.
        const QStringList days = QDir(out.filePath("today")).entryList(QDir::Files);
        EXPECT_EQ(days.size(), answers);
        for (const QString &day : days) {
            const QJsonObject answer =
                QJsonDocument::fromJson(readFile(out.filePath("today/" + day))).object();
            const QString file = QUrl::fromPercentEncoding(answer["downloadUrl"].toString().toUtf8());
            EXPECT_EQ(
                QCryptographicHash::hash(readFile(out.filePath(file)), QCryptographicHash::Sha256).toHex(),
                answer["sha256"].toString().toLatin1())
                << day.toStdString();
            EXPECT_LT(QFileInfo(out.filePath("today/" + day)).lastModified(),
                      QDate::fromString(day.chopped(5), Qt::ISODate).startOfDay(QTimeZone(14 * 3600)))
                << day.toStdString();
        }
    }
}

TEST_F(ServerTest, TheClientRefreshesFromTheServiceThenFromItsExportBehindDebiansNginx) {
    QTemporaryDir downloads, exported, prefix;
    const auto refresh = [&](const QString &base) {
        const lumivra::WallpaperAPIClient client(base);
        auto record = runTask(client.getTodayWallpaper());
        runTask(client.downloadWallpaper(record, downloads.filePath("today")));
        EXPECT_EQ(readFile(downloads.filePath("today")), readFile(root.filePath(record.fileName)));
        return record;
    };
    std::optional<Server> service(std::in_place, QStringList{"--root", root.path()});
    const QString port = QString::number(service->port);
    const QString dir = "files/" + refresh("http://127.0.0.1:" + port).sha256.left(16);
    service.reset();
    const QString yesterday = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    ASSERT_EQ(runExport(exported.path(), {"--root", root.path(), "--from", yesterday, "--days", "3"}).first,
              0);
    // nginx's workers run as www-data, who must be able to read the tree.
    ASSERT_TRUE(QFile::setPermissions(exported.path(), QFile::Permissions(0x7555)) &&
                writeFile(exported.filePath(dir + "/.secret"), "s") &&
                writeFile(exported.filePath("files/.git"), "s"));

    // Debian's nginx as its package installs it, moved into `prefix` with its listening ports, pid, logs
    // and temporary files; the site goes in as the README says.
    const QString etc = prefix.filePath("nginx/");
    QString temporary;
    for (const char *kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        temporary += QStringLiteral(" %1_temp_path t;").arg(kind);
    ASSERT_EQ(QProcess::execute("cp", {"-rL", "/etc/nginx", prefix.path()}), 0);
    ASSERT_TRUE(QFile::copy(qEnvironmentVariable("LUMIVRA_SOURCE_DIR") + "/packaging/nginx/lumivra.conf",
                            etc + "sites-available/lumivra") &&
                QFile::link(etc + "sites-available/lumivra", etc + "sites-enabled/lumivra"));
    const QList<std::pair<QString, QStringList>> edits{
        {"nginx.conf",
         {"/etc/nginx/", etc, "/run/nginx.pid", prefix.filePath("pid"), "/var/log/nginx/",
          prefix.path() + '/', "http {", "http {" + temporary}},
        {"sites-enabled/default",
         {"listen 80 ", "listen 127.0.0.1:" + port + ' ', "listen [::]:80 ", "listen [::1]:" + port + ' '}},
        {"sites-available/lumivra",
         {"listen 80;", "listen 127.0.0.1:" + port + ';', "listen [::]:80;", "listen [::1]:" + port + ';',
          "server_name wallpaper.example.org;", "server_name localhost;", "root /var/lib/lumivra-server;",
          "root " + exported.path() + ';'}},
    };
    for (const auto &[file, changes] : edits) {
        QString text = QString::fromUtf8(readFile(etc + file));
        for (qsizetype i = 0; i < changes.size(); i += 2) {
            EXPECT_TRUE(text.contains(changes[i])) << changes[i].toStdString();
            text.replace(changes[i], changes[i + 1]);
        }
        ASSERT_TRUE(QFile::remove(etc + file) && writeFile(etc + file, text.toUtf8()));
    }
    QProcess nginx;
    nginx.start("/usr/sbin/nginx",
                {"-p", prefix.path(), "-e", "error.log", "-c", etc + "nginx.conf", "-g", "daemon off;"});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(prefix.filePath("pid")); }))
        << readFile(prefix.filePath("error.log")).toStdString();

    // The client names the site's host; the second time it revalidates what it keeps.
    refresh("http://localhost:" + port);
    refresh("http://localhost:" + port);
    EXPECT_TRUE(readFile(prefix.filePath("access.log"))
                    .contains("\"GET /api/client/wallpaper/today HTTP/1.1\" 304 "));
    // Any other host name gets Debian's default site; hidden and missing files get the site's JSON.
    const QByteArray localhost = " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    for (const QByteArray &request : {today, "GET /" + dir.toUtf8() + "/.secret" + localhost,
                                      "GET /files/.git" + localhost, "GET /files/none.png" + localhost}) {
        const QByteArray answer = exchange(port.toUShort(), request);
        EXPECT_TRUE(
            answer.startsWith("HTTP/1.1 404 ") &&
            answer.contains(request == today ? "Content-Type: text/html" : "Content-Type: application/json"))
            << answer.toStdString();
    }
    nginx.terminate();
    EXPECT_TRUE(nginx.waitForFinished());
}

} // namespace
