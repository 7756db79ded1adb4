// Wall time of one verified downloadWallpaper against `curl -o FILE` followed by `openssl dgst -sha256 FILE`,
// both fetching from the same loopback server in the same run, and the client's peak resident memory.
#include "ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Size {
    const char *label;
    qint64 bytes;
    int runs;
};

void makeFile(const QString &path, qint64 bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(4 << 20, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (qint64 written = 0; written < bytes; written += block.size()) {
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        file.write(block.constData(), std::min<qint64>(block.size(), bytes - written));
    }
}

QString run(const QString &program, const QStringList &arguments, double *seconds) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    // The loopback server answers on this thread, so the wait runs its event loop.
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (process.waitForStarted())
        loop.exec();
    *seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (process.error() == QProcess::FailedToStart || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    lumivra::test::ScriptedHttpServer server;
    const QString outDir = folder.path() + QStringLiteral("/out");
    QDir().mkpath(outDir);

    bool allMet = true;
    for (const Size &size : {Size{"8 MiB", 8LL << 20, 15}, Size{"512 MiB", 512LL << 20, 3}}) {
        const QString name = QStringLiteral("image-%1.bin").arg(size.bytes);
        makeFile(folder.filePath(name), size.bytes);
        QFile file(folder.filePath(name));
        file.open(QIODevice::ReadOnly);
        server.on(u'/' + name, lumivra::test::ScriptedResponse::bytes(file.readAll()));
        const QString url = server.url(u'/' + name);
        double ignored = 0;
        const QString sha = run(QStringLiteral("openssl"),
                                {QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-r"),
                                 folder.filePath(name)},
                                &ignored)
                                .section(' ', 0, 0);

        std::vector<double> client, baseline;
        long peakKiB = 0;
        for (int i = 0; i < size.runs; ++i) {
            double seconds = 0;
            const QString dest = outDir + QStringLiteral("/client.bin");
            const QString report = run(QStringLiteral(BENCH_CLIENT_PATH),
                                       {url, sha, QString::number(size.bytes), dest}, &seconds);
            client.push_back(seconds);
            peakKiB = std::max(peakKiB, report.section('=', 1).trimmed().toLong());
            QFile::remove(dest);

            const QString curlOut = outDir + QStringLiteral("/curl.bin");
            run(QStringLiteral("sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("curl -sf -o '%1' '%2' && openssl dgst -sha256 '%1' >/dev/null")
                     .arg(curlOut, url)},
                &seconds);
            baseline.push_back(seconds);
            QFile::remove(curlOut);
        }
        QFile::remove(folder.filePath(name));
        const double ratio = median(client) / median(baseline);
        const bool timeMet = ratio <= 1.1;
        const bool memoryMet = size.bytes < (512LL << 20) || peakKiB < 64 * 1024;
        allMet = allMet && timeMet && memoryMet;
        std::printf(
            "%-8s client %.3f s, curl+openssl %.3f s (median of %d): ratio %.2f (target <= 1.10: %s); "
            "client peak RSS %.1f MiB%s\n",
            size.label, median(client), median(baseline), size.runs, ratio, timeMet ? "met" : "MISSED",
            static_cast<double>(peakKiB) / 1024.0,
            size.bytes >= (512LL << 20)
                ? (memoryMet ? " (target < 64 MiB: met)" : " (target < 64 MiB: MISSED)")
                : "");
    }
    return allMet || !app.arguments().contains(QStringLiteral("--check")) ? 0 : 1;
}
