// Several hundred refresh cycles of the real application against a service that answers both requests of
// a cycle from one table of faults, drawn at random. After every cycle the alert says what the faults must
// come to, the cache holds only wallpapers whose content has the digest their name promises and no
// leftovers, and the desktop was handed only the announced wallpaper; after a warm-up neither memory nor
// open files grow.
#include "ScriptedHttpServer.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "system/ClientPaths.h"
#include "system/WallpaperCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <cstdio>
#include <gtest/gtest.h>
#include <malloc.h>
#include <random>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// Freed memory waits in the sanitizer's quarantine, 256 MiB of it by default, which fills slowly over the run
// and would look like growth here; a smaller one still catches a use soon after release.
extern "C" const char *__asan_default_options() {
    return "quarantine_size_mb=4";
}
#endif

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

// Short enough that hundreds of cycles with stalls take a minute or two, long enough that a proper answer
// over loopback never runs into it on a busy machine with sanitizers.
constexpr auto timeout = 300ms;
constexpr const char *recordFormat =
    R"({"id":%lld,"effectiveDate":"%s","fileName":"Aurora.JPG","contentType":"image/jpeg",)"
    R"("length":%lld,"sha256":"%s","downloadUrl":"files/image"})";
std::mt19937_64 generator;

int pick(qsizetype count) {
    return int(generator() % quint64(count));
}

ScriptedResponse proper(ScriptedResponse answer, bool json) {
    const int framing = pick(3);
    answer.chunked = framing == 1;
    // Images are asked for uncompressed, and a compressed one is refused.
    answer.gzip = framing == 2 && json;
    return answer;
}

// Metadata that is no wallpaper record, or image bytes that are not the announced ones.
ScriptedResponse wrongContent(ScriptedResponse answer, bool json) {
    QByteArray &body = answer.body;
    if (json)
        body = QList<QByteArray>{"\xff", '[' + body + ']', body.left(1 + pick(body.size() - 1))}[pick(3)];
    else
        body[pick(body.size())] ^= 0x10;
    return proper(answer, json);
}

// The proper answer broken off part way: cut, or stalled; a quarter of the stalls send not even the status
// line in time.
ScriptedResponse brokenOff(ScriptedResponse answer, bool cut) {
    (cut ? answer.cutAfter : answer.stallAfter) = pick(answer.body.size());
    answer.delay = cut || pick(4) ? 0ms : 3 * timeout;
    return answer;
}

// How the service answers either request, made from the proper answer, and the pattern the alert of a
// cycle that asks for it must match: none when the cycle goes on, the image's own when it differs.
struct Fault {
    const char *name;
    std::function<ScriptedResponse(ScriptedResponse proper, bool json)> answer;
    QString end{}, imageEnd{};
};
const Fault faults[] = {
    {"proper answer", proper},
    {"5xx with error body",
     [](auto, bool) { return ScriptedResponse::bytes(R"({"error":"今日壁纸暂不可用"})", 503); },
     "^今日壁纸暂不可用$"},
    {"5xx without error body",
     [](auto, bool) { return ScriptedResponse::bytes(pick(2) ? "" : "<html>Bad gateway</html>", 502); },
     "^服务器返回错误：502$"},
    {"connection cut mid-body", [](auto answer, bool) { return brokenOff(answer, true); }, "."},
    {"stalled beyond time-out", [](auto answer, bool) { return brokenOff(answer, false); }, "^请求超时"},
    {"redirect loop", [](auto, bool) { return ScriptedResponse::redirect("/loop"); }, "."},
    {"empty body", [](auto, bool json) { return ScriptedResponse::bytes({}, json && pick(2) ? 204 : 200); },
     "^服务器响应为空。$", "^壁纸文件校验失败"},
    {"garbage JSON / wrong digest", wrongContent, "^服务器返回的壁纸信息", "^壁纸文件校验失败"},
};

QString digestOf(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()
               : QString();
}

int failures() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// What the process holds: resident memory, the heap malloc handed out (the sanitizer's allocator replaces
// malloc and this reads zero there, but the resident size still counts) and open descriptors.
struct Gauges {
    qint64 resident = 0, heap = 0, files = 0;
};
Gauges gauges() {
    QFile statm("/proc/self/statm");
    const qint64 pages =
        statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLongLong() : 0;
    return {pages * sysconf(_SC_PAGESIZE), qint64(mallinfo2().uordblks + mallinfo2().hblkhd),
            QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size()};
}

} // namespace

TEST(RefreshSoak, everyCycleEndsAsItsFaultsSayAndLeavesOnlyVerifiedFiles) {
    bool given = false;
    quint64 seed = qEnvironmentVariable("LUMIVRA_SOAK_SEED").toULongLong(&given);
    seed = given ? seed : std::random_device()();
    generator.seed(seed);
    const int cycles = std::max(qEnvironmentVariableIntValue("LUMIVRA_SOAK_CYCLES"), 50);
    std::printf("refresh soak: seed %llu (repeat with LUMIVRA_SOAK_SEED), %d cycles\n", seed, cycles);

    ScriptedHttpServer server;
    QMap<QString, ScriptedResponse> answers;
    for (const QString path : {"/api/client/wallpaper/today", "/files/image"})
        server.on(path, [&answers, path](const RecordedRequest &) { return answers.value(path); });
    server.on("/loop", ScriptedResponse::redirect("/loop"));

    QStringList alert, handed;
    AppDelegateSeams seams;
    seams.serverBaseURL = [&server] { return server.url(); };
    // The desktop notes each file with the digest of its content when it was handed over.
    seams.setDesktopPicture = [&handed](const QString &file) { handed << file + u' ' + digestOf(file); };
    seams.showAlert = [&alert](const QString &message, const QString &text) { alert = {message, text}; };
    seams.clientTimeouts = {timeout, timeout};
    AppDelegate delegate(std::move(seams));

    QMap<QString, QPair<int, int>> tally; // injected and survived, by request and answer
    const int warmUp = std::max(30, cycles / 5);
    Gauges baseline;
    qint64 baselineRequests = 0;
    WallpaperMetadataResponse wallpaper{0, {}, "Aurora.JPG", "image/jpeg", 0, {}, {}};
    QByteArray image;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // Half the cycles see the same wallpaper again, as the hourly refreshes of one day do.
        if (wallpaper.id == 0 || pick(2)) {
            // Small pictures keep hashing the whole cache after every cycle quick.
            image = QByteArray::number(generator()).repeated(100 + pick(800));
            const QString digest = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
            wallpaper.sha256 = pick(5) ? digest : digest.toUpper();
            wallpaper.effectiveDate = QString("2026-12-%1").arg(++wallpaper.id % 20 + 10);
        }
        const QByteArray record =
            QString::asprintf(recordFormat, wallpaper.id, qPrintable(wallpaper.effectiveDate),
                              qint64(image.size()), qPrintable(wallpaper.sha256))
                .toUtf8();
        // About half the answers are proper.
        const Fault &metadataFault = faults[pick(2) ? 0 : pick(std::size(faults))];
        const Fault &imageFault = faults[pick(2) ? 0 : pick(std::size(faults))];
        answers = {
            {"/api/client/wallpaper/today", metadataFault.answer(ScriptedResponse::bytes(record), true)},
            {"/files/image", imageFault.answer(ScriptedResponse::bytes(image), false)}};

        // What the cycle must come to, step by step as the application goes.
        const QString cacheFile = WallpaperCache::path(wallpaper);
        const bool downloads =
            metadataFault.end.isEmpty() && digestOf(cacheFile) != wallpaper.sha256.toLower();
        const QString end = downloads ? (imageFault.imageEnd.isEmpty() ? imageFault.end : imageFault.imageEnd)
                                      : metadataFault.end;
        const int imageRequests = server.count("/files/image"), failuresBefore = failures();
        alert.clear();
        handed.clear();
        SCOPED_TRACE("cycle " + std::to_string(cycle) + " (metadata: " + metadataFault.name +
                     ", image: " + imageFault.name + ")");

        delegate.refreshWallpaper(true);
        // A cycle that hangs ends the run, but the counts so far are still printed.
        if (!waitUntil([&delegate] { return !delegate.refreshing(); }, 30s)) {
            ADD_FAILURE() << "the cycle never ended";
            break;
        }
        const QString title = end.isEmpty() ? "壁纸已刷新" : "刷新壁纸失败";
        const QString text = end.isEmpty() ? "^当前壁纸日期：" + wallpaper.effectiveDate + '$' : end;
        EXPECT_TRUE(alert.value(0) == title && QRegularExpression(text).match(alert.value(1)).hasMatch())
            << alert.join(u'|').toStdString();
        EXPECT_EQ(server.count("/files/image") > imageRequests, downloads);
        EXPECT_EQ(handed.join(u'|').toStdString(),
                  (end.isEmpty() ? cacheFile + u' ' + wallpaper.sha256.toLower() : QString()).toStdString());
        // Hidden entries too: a temporary download left behind is hidden.
        for (const QFileInfo &entry :
             QDir(ClientPaths::wallpaperCache())
                 .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            static const QRegularExpression cached("^[0-9]+-([0-9a-fA-F]{12})\\.jpg$");
            const QRegularExpressionMatch name = cached.match(entry.fileName());
            EXPECT_TRUE(name.hasMatch() &&
                        digestOf(entry.filePath()).startsWith(name.captured(1), Qt::CaseInsensitive))
                << entry.fileName().toStdString() << " does not belong in the cache";
        }

        for (const QString &key : {"metadata " + QString(metadataFault.name),
                                   "image    " + QString(downloads ? imageFault.name : "not asked")}) {
            tally[key].first += 1;
            tally[key].second += failures() == failuresBefore;
        }
        // Released replies and sockets go at the next turn of the event loop; measure after that.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const Gauges now = gauges();
        if (cycle == warmUp)
            std::tie(baseline, baselineRequests) = std::tuple(now, server.requests().size());
        // After the warm-up; Qt keeps up to six connections per server open for reuse.
        EXPECT_LE(now.files, cycle > warmUp ? baseline.files + 6 : now.files);
    }

    const Gauges end = gauges();
    const qint64 requests = server.requests().size();
    std::printf("\n  %-42s %9s %9s\n", "request  answer", "injected", "survived");
    for (auto it = tally.cbegin(); it != tally.cend(); ++it)
        std::printf("  %-42s %9d %9d\n", qPrintable(it.key()), it->first, it->second);
    std::printf("\n  after %d warm-up cycles -> end: RSS %lld -> %lld KiB, heap %lld -> %lld KiB, open files "
                "%lld -> %lld; %lld requests answered\n",
                warmUp, baseline.resident >> 10, end.resident >> 10, baseline.heap >> 10, end.heap >> 10,
                baseline.files, end.files, requests);
    // The allocator keeps some freed memory, and the server records every request it answers.
    const qint64 recorded = (requests - baselineRequests) * 2048;
    EXPECT_LE(end.heap, baseline.heap + (4 << 20) + recorded);
    EXPECT_LE(end.resident, baseline.resident + (16 << 20) + recorded);
}
