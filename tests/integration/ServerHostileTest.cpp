#include "ProcessGauges.h"
#include "RawConnection.h"
#include "ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using lumivra::test::ProcessGauges;
using lumivra::test::RawConnection;
using lumivra::test::rawRequest;
using lumivra::test::ServerProcess;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const QByteArray todayHead = "GET /api/client/wallpaper/today HTTP/1.1\r\nHost: t\r\n";

class ServerHostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile picture(m_root.filePath(QStringLiteral("picture.png")));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        ASSERT_TRUE(picture.resize(4 << 20));
    }
    void serve(const QStringList &extra = {}, const std::function<void()> &inChild = {}) {
        m_server = std::make_unique<ServerProcess>(
            QStringList{"--root", m_root.path(), "--listen", "127.0.0.1:0", "--date", "2027-05-01"} + extra,
            inChild);
        m_port = quint16(QUrl(m_server->waitForUrl()).port());
        ASSERT_NE(m_port, 0);
    }
    qint64 pid() const { return m_server->process().processId(); }
    bool stillServes() const {
        return rawRequest(m_port, "GET", "/api/client/wallpaper/today").status() == 200;
    }

    QTemporaryDir m_root;
    std::unique_ptr<ServerProcess> m_server;
    quint16 m_port = 0;
};

TEST_F(ServerHostileTest, OversizedRequestsAreRefusedBeforeTheyAreRead) {
    struct Row {
        const char *name;
        QByteArray head;
        char filler;
    };
    const Row rows[] = {
        {"1 GiB body",
         "POST /api/client/wallpaper/today HTTP/1.1\r\nHost: t\r\nContent-Length: 1073741824\r\n\r\n", 'x'},
        {"endless header", todayHead + "X-Filler: ", 'a'},
        {"endless URL", "GET /files/", 'a'},
    };
    serve();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        RawConnection peer(m_port);
        peer.send(row.head);
        const QByteArray piece(64 * 1024, row.filler);
        qint64 sent = 0;
        bool open = true;
        // A service that reads it all would take 1 GiB; a refusal comes within the first few pieces.
        while (open && sent < (256 << 20) && peer.received().isEmpty()) {
            open = peer.send(piece) && peer.readAvailable(0ms);
            sent += piece.size();
        }
        peer.readToEnd(200ms, 2s);
        EXPECT_LT(sent, 4 << 20);
        EXPECT_TRUE(peer.status() == 0 || (peer.status() >= 400 && peer.status() < 500)) << peer.status();
        EXPECT_FALSE(peer.received().contains(QByteArray(1000, row.filler)));
    }
    EXPECT_LT(ProcessGauges::of(pid()).peakResidentBytes, 100 << 20);
    EXPECT_TRUE(stillServes());
}

TEST_F(ServerHostileTest, EveryRequestGetsExactlyOneWholeAnswerAndCloseIsHonoured) {
    struct Row {
        const char *name;
        QByteArray request;
        bool halfClose;
        bool mustClose;
    };
    const Row rows[] = {
        {"HTTP/1.0", "GET /api/client/wallpaper/today HTTP/1.0\r\n\r\n", false, true},
        {"HTTP/1.0 error", "GET /nothing HTTP/1.0\r\n\r\n", false, true},
        {"Connection: close", todayHead + "Connection: close\r\n\r\n", false, true},
        {"half-closed after the request", todayHead + "\r\n", true, true},
        {"Upgrade", todayHead + "Connection: Upgrade\r\nUpgrade: websocket\r\n\r\n", false, false},
    };
    serve();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        RawConnection peer(m_port);
        peer.send(row.request);
        if (row.halfClose)
            peer.halfClose();
        const bool closed = peer.readToEnd();
        if (row.mustClose) {
            EXPECT_TRUE(closed);
        }
        EXPECT_EQ(peer.received().count("HTTP/1."), 1) << peer.received().toStdString();
        EXPECT_EQ(peer.body().size(), peer.header("Content-Length").toLongLong());
    }
}

TEST_F(ServerHostileTest, SlowHeadsAreCutAndTheConnectionCapNeitherSpinsNorLocksOut) {
    // Descriptors for about 150 connections, with twice as many clients trickling bytes.
    serve({"--head-timeout", "1", "--max-connections", "100"}, [] {
        const rlimit files{200, 200};
        ::setrlimit(RLIMIT_NOFILE, &files);
    });
    std::vector<std::unique_ptr<RawConnection>> tricklers;
    for (int i = 0; i < 300; ++i) {
        tricklers.push_back(std::make_unique<RawConnection>(m_port));
        tricklers.back()->send("GET /api/client/wallpaper/today HTTP/1.1\r\n");
    }
    const long ticksBefore = ProcessGauges::of(pid()).cpuTicks;
    const auto end = Clock::now() + 10s;
    qsizetype open = 0;
    do {
        open = 0;
        for (auto &peer : tricklers) {
            if (peer && peer->send("X") && peer->readAvailable(0ms))
                ++open;
            else
                peer.reset();
        }
        std::this_thread::sleep_for(250ms); // the trickle's own pace, not a wait for the server
    } while (open > 0 && Clock::now() < end);
    EXPECT_EQ(open, 0);
    const long ticks = ProcessGauges::of(pid()).cpuTicks - ticksBefore;
    EXPECT_LT(ticks, sysconf(_SC_CLK_TCK)) << "the service spun while refusing connections";
    EXPECT_TRUE(stillServes());
    EXPECT_LT(ProcessGauges::of(pid()).openFiles, 40);
}

TEST_F(ServerHostileTest, ClientsThatNeverReadCostLittleMemory) {
    serve();
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < 500; ++i) {
        idle.push_back(std::make_unique<RawConnection>(m_port));
        idle.back()->send("GET /files/picture.png HTTP/1.1\r\nHost: t\r\n\r\n");
    }
    ASSERT_TRUE(stillServes());
    EXPECT_LT(ProcessGauges::of(pid()).residentBytes, 100 << 20);
}

TEST_F(ServerHostileTest, ALinkSwappedInDuringRequestsNeverLeaksTheFileOutside) {
    QTemporaryDir outside;
    QFile secret(outside.filePath(QStringLiteral("secret.png")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("OUTSIDE-SECRET");
    secret.close();
    const QByteArray root = QFile::encodeName(m_root.path());
    QFile inside(m_root.filePath(QStringLiteral("regular")));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.write("inside");
    inside.close();
    serve();

    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        const QByteArray link = root + "/link", regular = root + "/regular", swapped = root + "/swap.png";
        while (!stop) {
            ::symlink(QFile::encodeName(secret.fileName()).constData(), link.constData());
            ::rename(link.constData(), swapped.constData());
            ::link(regular.constData(), link.constData());
            ::rename(link.constData(), swapped.constData());
        }
    });
    int leaked = 0;
    int served = 0;
    for (int i = 0; i < 3000; ++i) {
        const RawConnection peer = rawRequest(m_port, "GET", "/files/swap.png");
        leaked += peer.received().contains("OUTSIDE-SECRET");
        served += peer.status() == 200;
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(leaked, 0);
    EXPECT_GT(served, 0) << "the race was never run";
}

TEST_F(ServerHostileTest, ASchedulethatIsNoFileFailsFastAndTheServiceStaysUp) {
    struct Row {
        const char *name;
        std::function<bool(const QByteArray &path)> make;
    };
    const Row rows[] = {
        {"FIFO", [](const QByteArray &path) { return ::mkfifo(path.constData(), 0600) == 0; }},
        {"link to /dev/zero",
         [](const QByteArray &path) { return ::symlink("/dev/zero", path.constData()) == 0; }},
        {"2 MiB file",
         [](const QByteArray &path) {
             QFile file(QFile::decodeName(path));
             return file.open(QIODevice::WriteOnly) && file.write(QByteArray(2 << 20, ' ') + "{}") > 0;
         }},
    };
    const QByteArray schedule = QFile::encodeName(m_root.filePath(QStringLiteral("schedule.json")));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ::unlink(schedule.constData());
        ASSERT_TRUE(row.make(schedule));
        serve();
        const RawConnection today = rawRequest(m_port, "GET", "/api/client/wallpaper/today");
        EXPECT_EQ(today.status(), 500) << today.received().toStdString();
        EXPECT_FALSE(today.received().contains(QFile::encodeName(m_root.path())));
        EXPECT_EQ(rawRequest(m_port, "GET", "/files/picture.png").status(), 200);
        m_server->process().terminate();
        EXPECT_EQ(m_server->waitForExit(), 0);
    }
}

TEST_F(ServerHostileTest, HiddenFilesAndTheFoldersPlaceStayPrivate) {
    QFile hidden(m_root.filePath(QStringLiteral(".private.png")));
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.write("PRIVATE");
    hidden.close();
    QFile schedule(m_root.filePath(QStringLiteral("schedule.json")));
    ASSERT_TRUE(schedule.open(QIODevice::WriteOnly));
    schedule.write(R"({"2027-05-01": ".private.png"})");
    schedule.close();
    serve();
    EXPECT_EQ(rawRequest(m_port, "GET", "/files/.private.png").status(), 404);
    const RawConnection today = rawRequest(m_port, "GET", "/api/client/wallpaper/today");
    EXPECT_GE(today.status(), 400);
    EXPECT_FALSE(today.received().contains("PRIVATE"));

    // The folder vanishes under the running service: the answer says so without naming where it was.
    const QString root = m_root.path();
    ASSERT_TRUE(m_root.remove());
    for (const QByteArray &target :
         {QByteArray("/api/client/wallpaper/today"), QByteArray("/files/picture.png")}) {
        const RawConnection answer = rawRequest(m_port, "GET", target);
        EXPECT_GE(answer.status(), 400);
        EXPECT_FALSE(answer.received().contains(QFile::encodeName(root))) << answer.received().toStdString();
    }
}

} // namespace
