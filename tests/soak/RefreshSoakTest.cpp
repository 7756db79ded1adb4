// Several hundred refresh cycles of the real application against a service that misbehaves at random.
// After every cycle the cache may hold only verified wallpapers and no leftovers, the desktop may have been
// handed only verified files, and after a warm-up neither memory nor open files may grow.
#include "CacheAudit.h"
#include "FaultyWallpaperService.h"
#include "ProcessGauges.h"
#include "TempHome.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "client/Errors.h"
#include "client/Sha256.h"
#include "system/ClientPaths.h"
#include "system/WallpaperCache.h"

#include <QFileInfo>
#include <QMap>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
// Freed memory waits in the sanitizer's quarantine, 256 MiB of it by default, which would look like growth
// here; a smaller one still catches a use soon after release.
extern "C" const char *__asan_default_options() {
    return "quarantine_size_mb=16";
}
#endif

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

// Short enough that several hundred cycles with stalls fit in a minute or two, long enough that a proper
// answer over loopback never runs into it even on a busy machine with sanitizers.
constexpr auto clientTimeout = 300ms;
constexpr qint64 mebibyte = 1 << 20;
// Growth allowed after the warm-up: the allocator keeps some freed memory, and the test server records
// every request it answers.
constexpr qint64 heapAllowance = 4 * mebibyte;
constexpr qint64 residentAllowance = 16 * mebibyte;
constexpr qint64 bytesPerRecordedRequest = 2048;
// Qt keeps up to six connections per server open for reuse.
constexpr int openFileAllowance = 6;

int cycleCount() {
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("LUMIVRA_SOAK_CYCLES", &ok);
    return ok && fromEnvironment > 0 ? fromEnvironment : 400;
}

quint64 seed() {
    bool ok = false;
    const quint64 fromEnvironment = qEnvironmentVariable("LUMIVRA_SOAK_SEED").toULongLong(&ok);
    return ok ? fromEnvironment : std::random_device()();
}

struct Tally {
    int injected = 0;
    int survived = 0;
};

// The desktop, replaced by a recorder that accepts only files whose content is the announced wallpaper.
struct DesktopRecorder {
    QString cacheFolder;
    const CyclePlan *plan = nullptr;
    QStringList pictures;
    QStringList problems;

    void set(const QString &file) {
        pictures.append(file);
        const QFileInfo info(file);
        if (info.absolutePath() != cacheFolder)
            problems.append(file + QStringLiteral(" is not in the cache folder"));
        const std::optional<QString> digest = sha256HexOfFile(file);
        if (!digest)
            problems.append(file + QStringLiteral(" cannot be read"));
        else if (digest->compare(plan->wallpaper.announcedSha256, Qt::CaseInsensitive) != 0)
            problems.append(file + QStringLiteral(" is not the announced wallpaper"));
        else if (!digest->startsWith(info.fileName().section(u'-', -1).left(12), Qt::CaseInsensitive))
            problems.append(file + QStringLiteral(" does not hold the digest its name promises"));
        if (plan->desktopRefuses)
            throw DesktopError(FaultyWallpaperService::desktopRefusal);
    }
};

struct Alert {
    QString messageText;
    QString informativeText;
};

int failureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

QString mebibytes(qint64 bytes) {
    return QString::number(static_cast<double>(bytes) / mebibyte, 'f', 1) + QStringLiteral(" MiB");
}

} // namespace

TEST(RefreshSoak, everyCycleLeavesOnlyVerifiedFilesAndNothingGrows) {
    const quint64 runSeed = seed();
    const int cycles = cycleCount();
    std::printf("refresh soak: seed %llu (repeat with LUMIVRA_SOAK_SEED), %d cycles\n",
                static_cast<unsigned long long>(runSeed), cycles);
    std::fflush(stdout);

    TempHome home;
    FaultyWallpaperService service(runSeed, clientTimeout);
    const QString cacheFolder = ClientPaths::wallpaperCache();
    CacheAudit audit(cacheFolder);
    DesktopRecorder desktop;
    desktop.cacheFolder = cacheFolder;
    QList<Alert> alerts;

    AppDelegateSeams seams;
    seams.serverBaseURL = [&service] { return service.baseURL(); };
    seams.setDesktopPicture = [&desktop](const QString &file) { desktop.set(file); };
    seams.showAlert = [&alerts](const QString &messageText, const QString &informativeText) {
        alerts.append({messageText, informativeText});
    };
    seams.clientTimeouts = {clientTimeout, clientTimeout};
    AppDelegate delegate(std::move(seams));

    QMap<QString, Tally> metadataFaults, imageFaults, desktopFaults;
    const int warmUp = std::max(30, cycles / 5);
    ProcessGauges baseline, peak;
    int baselineRequests = 0;

    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const CyclePlan &plan = service.planNextCycle();
        desktop.plan = &plan;
        const WallpaperMetadataResponse announced{plan.wallpaper.id,
                                                  plan.wallpaper.effectiveDate,
                                                  plan.wallpaper.fileName,
                                                  plan.wallpaper.contentType,
                                                  plan.wallpaper.image.size(),
                                                  plan.wallpaper.announcedSha256,
                                                  QString()};
        const QString cacheFile = WallpaperCache::path(announced);
        const std::optional<QString> cachedDigest = sha256HexOfFile(cacheFile);
        const bool cachedCopyMatches =
            cachedDigest && cachedDigest->compare(plan.wallpaper.announcedSha256, Qt::CaseInsensitive) == 0;
        const QSet<QString> namesBefore = audit.names();
        const int imageRequestsBefore = service.imageRequests();
        const qsizetype picturesBefore = desktop.pictures.size();
        alerts.clear();
        const int failuresBefore = failureCount();

        // What the cycle must come to, step by step as the application goes.
        const bool metadataArrives = !plan.metadata.outcome;
        const bool downloads = metadataArrives && !cachedCopyMatches;
        Expectation expected = plan.metadata.outcome;
        if (downloads)
            expected = plan.image.outcome;
        const bool reachesDesktop = !expected;
        if (reachesDesktop && plan.desktopRefuses)
            expected = exactly(FaultyWallpaperService::desktopRefusal);

        delegate.refreshWallpaper(true);
        // A cycle that hangs or reports twice ends the run, but the counts so far are still printed.
        if (!waitUntil([&delegate] { return !delegate.refreshing(); }, 30s)) {
            ADD_FAILURE() << "cycle " << cycle << " never finished";
            break;
        }
        if (alerts.size() != 1) {
            ADD_FAILURE() << "cycle " << cycle << " ended with " << alerts.size() << " alerts";
            break;
        }
        const Alert &alert = alerts.first();
        if (!expected) {
            EXPECT_EQ(alert.messageText, QStringLiteral("壁纸已刷新"))
                << "cycle " << cycle << ": " << alert.informativeText.toStdString();
            EXPECT_EQ(alert.informativeText, QStringLiteral("当前壁纸日期：") + plan.wallpaper.effectiveDate);
        } else {
            EXPECT_EQ(alert.messageText, QStringLiteral("刷新壁纸失败")) << "cycle " << cycle;
            EXPECT_TRUE(expected->match(alert.informativeText).hasMatch())
                << "cycle " << cycle << ": \"" << alert.informativeText.toStdString() << "\" for metadata "
                << faultName(plan.metadata.fault).toStdString() << ", image "
                << faultName(plan.image.fault).toStdString();
        }
        EXPECT_EQ(service.imageRequests() > imageRequestsBefore, downloads) << "cycle " << cycle;
        EXPECT_EQ(desktop.pictures.size() - picturesBefore, reachesDesktop ? 1 : 0) << "cycle " << cycle;
        if (reachesDesktop) {
            EXPECT_EQ(desktop.pictures.last(), cacheFile) << "cycle " << cycle;
        }
        EXPECT_TRUE(desktop.problems.isEmpty())
            << "cycle " << cycle << ": " << desktop.problems.join(u'\n').toStdString();
        desktop.problems.clear();

        const QStringList cacheProblems = audit.problems();
        EXPECT_TRUE(cacheProblems.isEmpty())
            << "cycle " << cycle << ": " << cacheProblems.join(u'\n').toStdString();
        EXPECT_TRUE(audit.names().contains(namesBefore))
            << "cycle " << cycle << ": a cached wallpaper vanished";
        if (reachesDesktop) {
            EXPECT_TRUE(audit.names().contains(QFileInfo(cacheFile).fileName())) << "cycle " << cycle;
        }

        const bool survived = failureCount() == failuresBefore;
        auto count = [survived](Tally &tally) {
            ++tally.injected;
            tally.survived += survived ? 1 : 0;
        };
        count(metadataFaults[faultName(plan.metadata.fault)]);
        count(imageFaults[downloads         ? faultName(plan.image.fault)
                          : metadataArrives ? QStringLiteral("not asked: cached copy reused")
                                            : QStringLiteral("not asked: no metadata")]);
        if (reachesDesktop)
            count(
                desktopFaults[plan.desktopRefuses ? QStringLiteral("refused") : QStringLiteral("accepted")]);

        // Released replies and sockets go at the next turn of the event loop; measure after that.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const ProcessGauges now = ProcessGauges::now();
        peak.residentBytes = std::max(peak.residentBytes, now.residentBytes);
        peak.openFiles = std::max(peak.openFiles, now.openFiles);
        if (cycle == warmUp) {
            baseline = now;
            baselineRequests = service.requests();
        } else if (cycle > warmUp) {
            EXPECT_LE(now.openFiles, baseline.openFiles + openFileAllowance) << "cycle " << cycle;
        }
    }

    const ProcessGauges end = ProcessGauges::now();
    const qint64 recorded = qint64(service.requests() - baselineRequests) * bytesPerRecordedRequest;
    std::printf("\n  %-9s %-32s %9s %9s\n", "request", "answer", "injected", "survived");
    auto print = [](const char *request, const QMap<QString, Tally> &tallies) {
        for (auto it = tallies.cbegin(); it != tallies.cend(); ++it)
            std::printf("  %-9s %-32s %9d %9d\n", request, qPrintable(it.key()), it->injected, it->survived);
    };
    print("metadata", metadataFaults);
    print("image", imageFaults);
    print("desktop", desktopFaults);
    std::printf(
        "\n  after %d warm-up cycles -> end: RSS %s -> %s (peak %s), heap %s -> %s, open files %d -> %d "
        "(peak %d); %d requests answered\n",
        warmUp, qPrintable(mebibytes(baseline.residentBytes)), qPrintable(mebibytes(end.residentBytes)),
        qPrintable(mebibytes(peak.residentBytes)), qPrintable(mebibytes(baseline.heapBytes)),
        qPrintable(mebibytes(end.heapBytes)), baseline.openFiles, end.openFiles, peak.openFiles,
        service.requests());
    std::fflush(stdout);

    EXPECT_LE(end.heapBytes, baseline.heapBytes + heapAllowance + recorded);
    EXPECT_LE(end.residentBytes, baseline.residentBytes + residentAllowance + recorded);
    EXPECT_LE(end.openFiles, baseline.openFiles + openFileAllowance);
}
