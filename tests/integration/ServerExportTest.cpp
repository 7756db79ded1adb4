#include "ServerProcess.h"
#include "client/WallpaperAPIClient.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using lumivra::WallpaperAPIClient;
using lumivra::WallpaperMetadataResponse;
using lumivra::test::runTask;
using lumivra::test::waitUntil;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int runServer(const QStringList &arguments) {
    return lumivra::test::ServerProcess(arguments).waitForExit();
}

// Debian's nginx with the shipped site configuration, on a free loopback port, serving `root`.
class Nginx {
public:
    explicit Nginx(const QString &root) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        QString site = QString::fromUtf8(readAll(qEnvironmentVariable("LUMIVRA_SOURCE_DIR") +
                                                 QStringLiteral("/packaging/nginx/lumivra.conf")));
        site.replace(QStringLiteral("listen 80;"), QStringLiteral("listen 127.0.0.1:%1;").arg(m_port))
            .replace(QStringLiteral("listen [::]:80;"), QString())
            .replace(QStringLiteral("root /srv/lumivra;"), QStringLiteral("root %1;").arg(root));
        QFile siteFile(m_prefix.filePath(QStringLiteral("site.conf")));
        siteFile.open(QIODevice::WriteOnly);
        siteFile.write(site.toUtf8());
        siteFile.close();
        const QString prefix = m_prefix.path();
        QFile main(m_prefix.filePath(QStringLiteral("nginx.conf")));
        main.open(QIODevice::WriteOnly);
        main.write(QStringLiteral("user root; worker_processes 1; pid %1/nginx.pid; error_log %1/error.log;\n"
                                  "events { worker_connections 64; }\n"
                                  "http { access_log %1/access.log; include /etc/nginx/mime.types;\n"
                                  "client_body_temp_path %1; proxy_temp_path %1; fastcgi_temp_path %1;\n"
                                  "uwsgi_temp_path %1; scgi_temp_path %1; include %1/site.conf; }\n")
                       .arg(prefix)
                       .toUtf8());
        main.close();
        m_process.start(QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/usr/bin"}),
                        {"-p", prefix, "-c", main.fileName(), "-g", "daemon off;"});
        waitUntil([&] {
            QTcpSocket probeSocket;
            probeSocket.connectToHost(QHostAddress::LocalHost, m_port);
            return probeSocket.waitForConnected(100) || m_process.state() == QProcess::NotRunning;
        });
    }
    ~Nginx() {
        m_process.terminate();
        m_process.waitForFinished();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QByteArray accessLog() const { return readAll(m_prefix.filePath(QStringLiteral("access.log"))); }

private:
    QTemporaryDir m_prefix;
    QProcess m_process;
    quint16 m_port = 0;
};

TEST(ServerExportTest, TheClientRefreshesFromNginxAndRevalidatesTheSecondTime) {
    QTemporaryDir pictures;
    QTemporaryDir site;
    QTemporaryDir downloads;
    for (const QString &name : {QStringLiteral("first light.png"), QStringLiteral("dusk.jpg")}) {
        QFile picture(pictures.filePath(name));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write(name.toUtf8().repeated(5000));
    }
    const QDate today = QDate::currentDate();
    ASSERT_EQ(runServer({"export", "--root", pictures.path(), "--out", site.path(), "--from",
                         today.addDays(-1).toString(Qt::ISODate), "--days", "3"}),
              0);
    Nginx nginx(site.path());

    const WallpaperMetadataResponse first = runTask(WallpaperAPIClient(nginx.url()).getTodayWallpaper());
    EXPECT_TRUE(first.effectiveDate == today.toString(Qt::ISODate) ||
                first.effectiveDate == QDate::currentDate().toString(Qt::ISODate));
    const QString destination = downloads.filePath(QStringLiteral("today"));
    runTask(WallpaperAPIClient(nginx.url()).downloadWallpaper(first, destination));
    EXPECT_EQ(readAll(pictures.filePath(first.fileName)), readAll(destination));

    const WallpaperMetadataResponse second = runTask(WallpaperAPIClient(nginx.url()).getTodayWallpaper());
    EXPECT_EQ(second.sha256, first.sha256);
    EXPECT_TRUE(nginx.accessLog().contains("\"GET /api/client/wallpaper/today HTTP/1.1\" 304 "))
        << nginx.accessLog().toStdString();
}

TEST(ServerExportTest, RefusesIncompleteOrUnreasonableRequests) {
    QTemporaryDir pictures;
    QTemporaryDir site;
    const QStringList base{"export", "--root", pictures.path(), "--out", site.path()};
    const QList<QPair<QStringList, int>> rows{
        {{"--from", "2026-02-30", "--days", "3"}, 2},      {{"--from", "2026-02-03", "--days", "0"}, 2},
        {{"--from", "2026-02-03", "--days", "100000"}, 2}, {{"--days", "3"}, 2},
        {{"--from", "2026-02-03", "--days", "3"}, 1}, // no pictures to publish
    };
    for (const auto &[arguments, exitCode] : rows)
        EXPECT_EQ(runServer(base + arguments), exitCode) << arguments.join(u' ').toStdString();
}

} // namespace
