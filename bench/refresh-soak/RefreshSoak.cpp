// Hundreds of refresh cycles of the real application against a loopback service that spoils either request
// of a cycle with a fault drawn at random from one table. Every cycle must end as its faults say (the alert,
// whether the picture was fetched, what the desktop was handed), leaving only wallpapers whose content has
// the digest their name promises and no leftovers. Once warmed up, resident memory and open files are the
// baseline: printed with their ratio at the end, which must stay within the goals. With --check the exit
// status is 1 when any cycle ended otherwise or a goal was missed.
// LUMIVRA_SOAK_SEED repeats a run, LUMIVRA_SOAK_CYCLES sets its length (400 by default, 50 at least).
#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "client/Sha256.h"
#include "system/ClientPaths.h"
#include "system/WallpaperCache.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

// Short enough that hundreds of cycles with stalls take a minute or two, long enough that a proper answer
// over loopback never runs into it on a busy machine with sanitizers.
constexpr auto timeout = 300ms;
std::mt19937_64 generator;
const QString record = R"({"id":%1,"effectiveDate":"%2","fileName":"Aurora.JPG","contentType":"image/jpeg",)"
                       R"("length":%3,"sha256":"%4","downloadUrl":"files/image"})";

int pick(qsizetype count) {
    return int(generator() % quint64(count));
}

// How the service spoils the proper answer to either request (`json`: the metadata), and the pattern the
// alert of a failing cycle that asks for it must match: none when the cycle goes on, the image's own when it
// differs.
struct Fault {
    const char *name;
    std::function<void(ScriptedResponse &answer, bool json)> spoil;
    QString end{}, imageEnd = end;
};
const Fault faults[] = {
    // Plain, chunked or gzip; images are asked for uncompressed, and a compressed one is refused.
    {"proper answer", [](auto &a, bool json) { (json && pick(2) ? a.gzip : a.chunked) = pick(2); }},
    {"5xx with error body",
     [](auto &a, bool) { a = ScriptedResponse::bytes(R"({"error":"今日壁纸暂不可用"})", 503); },
     "今日壁纸暂不可用$"},
    {"5xx without error body",
     [](auto &a, bool) { a = ScriptedResponse::bytes(pick(2) ? "" : "<html>Bad gateway</html>", 502); },
     "服务器返回错误：502$"},
    {"connection cut mid-body", [](auto &a, bool) { a.cutAfter = pick(a.body.size()); }, "."},
    {"stalled mid-body", [](auto &a, bool) { a.stallAfter = pick(a.body.size()); }, "请求超时"},
    {"stalled before the status line", [](auto &a, bool) { a.delay = 3 * timeout; }, "请求超时"},
    {"redirect loop", [](auto &a, bool) { a = ScriptedResponse::redirect("/loop"); }, "."},
    {"empty body", [](auto &a, bool json) { a = ScriptedResponse::bytes({}, json && pick(2) ? 204 : 200); },
     "服务器响应为空。$", "壁纸文件校验失败"},
    // The picture is digits: a letter in their place keeps its length.
    {"garbage JSON / wrong digest",
     [](auto &a, bool json) {
         const QList<QByteArray> garbage{"\xff", '[' + a.body + ']',
                                         a.body.left(1 + pick(a.body.size() - 1))};
         a.body = json ? garbage[pick(3)] : 'x' + a.body.mid(1);
     },
     "服务器返回的壁纸信息", "壁纸文件校验失败"},
};

// A missing cache file has no digest, so it never matches one announced.
QString digestOf(const QString &path) {
    return sha256HexOfFile(path).value_or(QString());
}

// Resident memory and open descriptors of this process.
std::pair<qint64, qint64> gauges() {
    // Released replies and sockets go at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qint64 pages = 0;
    std::ifstream("/proc/self/statm") >> pages >> pages; // the second number counts the resident pages
    return {pages * sysconf(_SC_PAGESIZE),
            std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})};
}

// The service's two answers for one cycle, spoiled as its faults say.
struct Service {
    ScriptedHttpServer server;
    ScriptedResponse metadata, picture;
    Service() {
        server.on("/api/client/wallpaper/today", [this](const RecordedRequest &) { return metadata; });
        server.on("/files/image", [this](const RecordedRequest &) { return picture; });
        server.on("/loop", ScriptedResponse::redirect("/loop"));
    }
};

// What was wrong with the cycle's end; empty when it ended as it must.
QStringList wrongs(const QString &alert, const QString &expected, const QString &handed,
                   const QString &expectedHanded, bool fetched, bool downloads) {
    QStringList wrong;
    if (!alert.contains(QRegularExpression('^' + expected)))
        wrong << "alert " + alert;
    if (fetched != downloads)
        wrong << QString(downloads ? "picture not fetched" : "picture fetched");
    if (handed != expectedHanded)
        wrong << "desktop handed '" + handed + "'";
    // Hidden files too: a temporary download left behind is hidden.
    for (const QFileInfo &entry :
         QDir(ClientPaths::wallpaperCache()).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        if (!entry.fileName().contains(
                QRegularExpression("^[0-9]+-(?i:" + digestOf(entry.filePath()).left(12) + ")\\.jpg$")))
            wrong << entry.fileName() + " does not belong in the cache";
    return wrong;
}

} // namespace

int main(int argc, char **argv) {
    // The cache, settings and autostart entry of a home of the run's own, never the user's.
    const TempHome home;
    QCoreApplication app(argc, argv);
    const quint64 seed =
        qEnvironmentVariable("LUMIVRA_SOAK_SEED", QString::number(std::random_device()())).toULongLong();
    generator.seed(seed);
    const int cycles = qEnvironmentVariableIsSet("LUMIVRA_SOAK_CYCLES")
                           ? std::max(qEnvironmentVariableIntValue("LUMIVRA_SOAK_CYCLES"), 50)
                           : 400;
    std::printf("refresh soak: seed %llu (repeat with LUMIVRA_SOAK_SEED), %d cycles\n", seed, cycles);

    Service service;
    QString alert, handed;
    AppDelegateSeams seams;
    seams.serverBaseURL = [&service] { return service.server.url(); };
    seams.setDesktopPicture = [&handed](const QString &file) { handed += file + ' '; };
    seams.showAlert = [&alert](const QString &title, const QString &text) { alert = title + '\n' + text; };
    seams.clientTimeouts = {timeout, timeout};
    AppDelegate delegate(std::move(seams));

    QMap<QString, QList<bool>> survived; // by request and answer
    const int warmUp = std::max(30, cycles / 5);
    std::pair<qint64, qint64> baseline;
    int failed = 0;
    WallpaperMetadataResponse wallpaper{0, {}, "Aurora.JPG", "image/jpeg", 0, {}, {}};
    QByteArray image;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // Half the cycles see the same wallpaper again, as the hourly refreshes of one day do.
        if (wallpaper.id == 0 || pick(2)) {
            // Small pictures keep hashing the whole cache after every cycle quick.
            image = QByteArray::number(generator()).repeated(100 + pick(800));
            const QString digest = sha256Hex(image);
            wallpaper.sha256 = pick(5) ? digest : digest.toUpper();
            wallpaper.effectiveDate = QString("2026-12-%1").arg(++wallpaper.id % 20 + 10);
        }
        // About half the answers are proper.
        const Fault &metadataFault = faults[pick(2) ? 0 : pick(std::size(faults))];
        const Fault &imageFault = faults[pick(2) ? 0 : pick(std::size(faults))];
        service.metadata =
            ScriptedResponse::bytes(record
                                        .arg(QString::number(wallpaper.id), wallpaper.effectiveDate,
                                             QString::number(image.size()), wallpaper.sha256)
                                        .toUtf8());
        service.picture = ScriptedResponse::bytes(image);
        metadataFault.spoil(service.metadata, true);
        imageFault.spoil(service.picture, false);

        // What the cycle must come to, step by step as the application goes.
        const QString cacheFile = WallpaperCache::path(wallpaper);
        const bool downloads =
            metadataFault.end.isEmpty() && digestOf(cacheFile) != wallpaper.sha256.toLower();
        const QString end = downloads ? imageFault.imageEnd : metadataFault.end;
        const int imageRequests = service.server.count("/files/image");
        const QStringList keys = {"metadata " + QString(metadataFault.name),
                                  "image    " + QString(downloads ? imageFault.name : "not asked")};

        delegate.refreshWallpaper(true);
        // A cycle that hangs ends the run, but the counts so far are still printed.
        if (!waitUntil([&delegate] { return !delegate.refreshing(); }, 30s)) {
            std::printf("cycle %d (%s): never ended\n", cycle, qPrintable(keys.join(", ")));
            ++failed;
            break;
        }
        const QStringList wrong =
            wrongs(std::exchange(alert, {}),
                   end.isEmpty() ? "壁纸已刷新\n当前壁纸日期：" + wallpaper.effectiveDate + '$'
                                 : "刷新壁纸失败\n" + end,
                   std::exchange(handed, {}), end.isEmpty() ? cacheFile + ' ' : "",
                   service.server.count("/files/image") > imageRequests, downloads);
        if (!wrong.isEmpty())
            std::printf("cycle %d (%s): %s\n", cycle, qPrintable(keys.join(", ")),
                        qPrintable(wrong.join("; ")));
        failed += !wrong.isEmpty();
        for (const QString &key : keys)
            survived[key] << wrong.isEmpty();
        if (cycle == warmUp)
            baseline = gauges();
    }

    const auto [resident, files] = gauges();
    const qint64 requests = service.server.requests().size();
    std::printf("\n  %-42s %9s %9s\n", "request  answer", "injected", "survived");
    for (auto it = survived.cbegin(); it != survived.cend(); ++it)
        std::printf("  %-42s %9lld %9lld\n", qPrintable(it.key()), it->size(), it->count(true));
    // The allocator keeps some freed memory, the server records every request it answers, and Qt keeps up
    // to six connections per server open for reuse.
    const bool memoryMet = resident <= baseline.first + (16 << 20) + requests * 2048;
    const bool filesMet = files <= baseline.second + 6;
    std::printf(
        "\n  %d of %d cycles ended otherwise than their faults say; %lld requests answered\n"
        "  from cycle %d on: RSS %lld -> %lld KiB, ratio %.2f (goal: at most 16 MiB + 2 KiB a request "
        "more: %s); open files %lld -> %lld (goal: at most 6 more: %s)\n",
        failed, cycles, requests, warmUp, baseline.first >> 10, resident >> 10,
        double(resident) / double(baseline.first), memoryMet ? "met" : "MISSED", baseline.second, files,
        filesMet ? "met" : "MISSED");
    const bool allMet = failed == 0 && memoryMet && filesMet;
    return allMet || !app.arguments().contains(QStringLiteral("--check")) ? 0 : 1;
}
