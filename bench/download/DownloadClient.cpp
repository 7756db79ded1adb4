// Runs one downloadWallpaper in a process of its own and reports its peak resident memory, so the figure
// belongs to the client alone and not to the server of the benchmark.
#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QFile>
#include <cstdio>

using namespace lumivra;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: bench_download_client URL SHA256 LENGTH DESTINATION\n");
        return 2;
    }
    WallpaperMetadataResponse metadata;
    metadata.downloadUrl = args[1];
    metadata.sha256 = args[2];
    // The client reads no more than twice the announced length.
    metadata.length = args[3].toLongLong();
    int status = 0;
    auto run = [&]() -> QCoro::Task<> {
        try {
            WallpaperAPIClient client(args[1]);
            co_await client.downloadWallpaper(metadata, args[4]);
        } catch (const Error &error) {
            std::fprintf(stderr, "download failed: %s\n", error.what());
            status = 1;
        }
        QCoreApplication::exit(status);
    };
    auto task = run();
    app.exec();
    // VmHWM starts afresh at exec; ru_maxrss would carry over the peak of the benchmark that forked this
    // process, which holds the whole body it serves.
    QFile self(QStringLiteral("/proc/self/status"));
    long peakKib = -1;
    if (self.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : self.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peakKib = line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    std::printf("peak_rss_kib=%ld\n", peakKib);
    return status;
}
