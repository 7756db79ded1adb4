#include "Files.h"
#include "Wait.h"

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
#include <sys/inotify.h>
#include <thread>

using namespace lumivra::test;

namespace {

const QByteArray schedule =
    R"({"2027-05-01": "a picture.png", "2027-05-04": "gone.png", "2027-05-05": "../b.png"})";
const QByteArray todayPath = "/api/client/wallpaper/today",
                 closing = " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n", end = closing + "\r\n",
                 today = "GET " + todayPath + end;

// What came back on one connection until the server closed it, or "still open" after 20 s. A head left
// unfinished trickles on, a byte every 200 ms, as slow peers send; the answer is taken 16 KiB every 200 ms,
// as slow peers read.
QByteArray exchange(quint16 port, const QByteArray &bytes) {
    QTcpSocket socket;
    socket.setReadBufferSize(16'384);
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(bytes);
    QByteArray answer;
    for (int i = 0; i < 100 && socket.state() != QAbstractSocket::UnconnectedState; ++i) {
        waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
                  std::chrono::milliseconds(200));
        if (socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(bytes.contains("\r\n\r\n") ? "" : "X");
            answer += socket.read(16'384);
        }
    }
    return socket.state() == QAbstractSocket::UnconnectedState ? answer + socket.readAll() : "still open";
}

QByteArray header(const QByteArray &answer, const QByteArray &name) {
    const qsizetype at = answer.indexOf("\r\n" + name + ": ");
    return at < 0 ? QByteArray() : answer.mid(at + name.size() + 4).split('\r').first();
}

// One answer on a kept-alive connection: its head and as many bytes as that announces (none for a 304).
QByteArray roundTrip(QTcpSocket &socket, const QByteArray &request) {
    socket.write(request);
    QByteArray answer;
    waitUntil([&] {
        const qsizetype head = (answer += socket.readAll()).indexOf("\r\n\r\n");
        return head >= 0 && (answer.startsWith("HTTP/1.1 304 ") ||
                             answer.size() >= head + 4 + header(answer, "Content-Length").toLongLong());
    });
    return answer;
}

// lumivra-server on a free loopback port, which it announces on its first line; stopped at the end with
// SIGTERM, as a service manager stops it.
struct Server : QProcess {
    explicit Server(const QStringList &options) {
        start(qEnvironmentVariable("LUMIVRA_SERVER_BINARY"), QStringList{"--listen=127.0.0.1:0"} + options);
        waitUntil([&] { return canReadLine() || state() == NotRunning; });
        port = readLine().split(':').last().trimmed().toUShort();
        EXPECT_NE(port, 0) << readAllStandardError().toStdString();
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
    const QByteArray picture = QByteArray(4 << 20, 'p') + "end";
};

TEST_F(ServerTest, TodaysRecordDescribesTheFileItServesAndFollowsTheFolder) {
    // A whole second, which a replacement below can restore exactly, as cp -p or tar do.
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1'700'000'000);
    QFile file(root.filePath("a picture.png"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) &&
                file.setFileTime(modified, QFileDevice::FileModificationTime));
    // Send limits a slow reader cannot keep to: a second's grace, then 4 MiB/s.
    const Server server(
        {"--root", root.path(), "--date", "2027-05-02", "--send-grace", "1", "--min-send-rate", "4194304"});
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
              R"("effectiveDate":"2027-05-02","fileName":"a picture.png","length":4194307,)"
              R"("sha256":"d7812b8059bf283df56531fe89f4b8cd5ffbb5d163cc3a302077a15156a696fc"})");

    // Both kinds of answer on one kept-alive connection; asked again with their tags, 304s that state the
    // 200's length or none.
    const QByteArray todayHead = "GET " + todayPath + " HTTP/1.1\r\nHost: t\r\n",
                     pictureHead = "GET /files/a%20picture.png HTTP/1.1\r\nHost: t\r\n";
    QTcpSocket kept;
    kept.connectToHost(QHostAddress::LocalHost, server.port);
    const auto revalidate = [&](const QByteArray &head, const QByteArray &tagged) {
        return roundTrip(kept, head + "If-None-Match: " + header(tagged, "ETag") + "\r\n\r\n");
    };
    const QByteArray pictureAnswer = roundTrip(kept, pictureHead + "\r\n");
    EXPECT_TRUE(pictureAnswer.endsWith("\r\n\r\n" + picture));
    for (const auto &[head, tagged] : {std::pair(todayHead, answer), std::pair(pictureHead, pictureAnswer)}) {
        const QByteArray notModified = revalidate(head, tagged),
                         length = header(notModified, "Content-Length");
        EXPECT_TRUE(notModified.startsWith("HTTP/1.1 304 ") &&
                    (length.isEmpty() || length == header(tagged, "Content-Length")))
            << notModified.toStdString();
    }
    // A peer that takes the picture slower than the service allows is cut off before the end.
    const QByteArray slow = exchange(server.port, pictureHead + "Connection: close\r\n\r\n");
    EXPECT_TRUE(slow.startsWith("HTTP/1.1 200 ") && !slow.endsWith(picture));

    // Replaced with the same size and modification time: a new digest, and the old tag no longer matches.
    ASSERT_TRUE(file.write("q") && file.setFileTime(modified, QFileDevice::FileModificationTime));
    EXPECT_EQ(settle()["sha256"], "8b304aaa68fd19510be694bca8ac8c8cb089a7d83e54485e552ddb66f097d434");
    EXPECT_TRUE(revalidate(pictureHead, pictureAnswer).startsWith("HTTP/1.1 200 "));

    ASSERT_TRUE(root.remove());
    EXPECT_EQ(settle()["error"], "壁纸目录中还没有可用的壁纸。");

    // Out of descriptors the service cannot even tell whether the picture is there: it asks to be asked
    // again. The standard streams take the three allowed; the event loop, which polls two, still runs.
    ASSERT_EQ(QProcess::execute("prlimit", {"--pid", QString::number(server.processId()), "--nofile=3:"}), 0);
    answer = roundTrip(kept, pictureHead + "\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 503 ") && answer.contains("\r\nRetry-After: 2\r\n"))
        << answer.toStdString();
}

TEST_F(ServerTest, EveryOtherRequestIsAnsweredWithAReasonAndHostilePeersAreCutOff) {
    const QString scheduled = "排期文件 schedule.json 为 %1 指定的壁纸 %2 不存在或无法提供。";
    const QString invalid = "壁纸文件名无效：只能是壁纸目录中的一个文件名。";
    const QString post = "405 不支持的请求方法 POST：此地址只接受 GET 和 HEAD。";
    const QByteArray head = "GET " + todayPath + closing;
    // Options, what is sent, the status line's code and today's file name or the error ("" when the
    // connection was closed without an answer), and how many peers hold a connection with half a head while
    // this one comes (from the same address). The default date is in the schedule.
    const QList<std::tuple<QStringList, QByteArray, QString, int>> rows{
        {{"--date", "2027-05-03"}, today, "200 b.png", 0},
        {{"--date", "2027-05-04"}, today, "404 " + scheduled.arg("2027-05-04", "gone.png"), 0},
        {{"--date", "2027-05-05"}, today, "500 " + scheduled.arg("2027-05-05", "../b.png"), 0},
        {{}, "GET /" + end, "404 找不到请求的地址：/。", 0},
        {{}, "GET http://t" + todayPath + end, "200 a picture.png", 0},
        {{}, "GET /files/.hidden.png" + end, "404 找不到壁纸文件：.hidden.png。", 0},
        {{}, "GET /files/link.png" + end, "404 找不到壁纸文件：link.png。", 0},
        {{}, "GET /files/..%2F..%2F..%2F..%2F..%2F..%2F..%2Fetc%2Fpasswd" + end, "400 " + invalid, 0},
        {{}, "GET /files/b.png%00.png" + end, "400 " + invalid, 0},
        {{}, "POST " + todayPath + " HTTP/1.1\r\nHost: t\r\nContent-Length: 1073741824\r\n\r\nbody", post, 0},
        {{}, head + "X-Filler: " + QByteArray(40'000, 'a') + "\r\n\r\n", "431 ", 0},
        {{}, "GET /files/" + QByteArray(40'000, 'a') + end, "414 ", 0},
        {{"--head-timeout", "1"}, head, " ", 0},
        {{"--head-timeout", "1", "--max-connections", "2"}, today, "200 a picture.png", 2},
        {{"--head-timeout", "1", "--max-connections-per-address", "2"}, today, " ", 2},
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
        // There was room for this peer only once a slow one had lost its connection, or none at all.
        EXPECT_TRUE(!idlePeers || waitUntil([&] {
            return idle[0].state() == QAbstractSocket::UnconnectedState ||
                   idle[1].state() == QAbstractSocket::UnconnectedState;
        }));
        EXPECT_TRUE(
            waitUntil([&] { return exchange(server.port, "GET /files/b.png" + end).endsWith("\r\n\r\nb"); }));
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
    const auto removeB = [&] { ASSERT_TRUE(QFile::remove(root.filePath("b.png"))); };
    const QList<std::tuple<std::function<void()>, QStringList, QStringList, int, int, bool>> rows{
        {[] {}, may, unservable, 4, 2, false},
        // A published picture with other bytes of the same size is put right.
        {tamper, may, unservable, 4, 2, false},
        {removeB, {"--from", "2027-05-06", "--days", "2", "--prune"}, {}, 2, 1, false},
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

} // namespace
