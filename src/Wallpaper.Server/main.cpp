#include "ServerOptions.h"
#include "StaticExport.h"
#include "TerminationSignals.h"
#include "WallpaperHttpServer.h"

#include <QCoreApplication>
#include <QUrl>
#include <cstdio>
#include <sys/resource.h>

using namespace lumivra::server;

namespace {

QUrl serviceUrl(const QHostAddress &address, quint16 port) {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(address.toString());
    url.setPort(port);
    return url;
}

// Every connection costs a descriptor; the soft limit (often 1024) would cap the service far below what
// the machine allows.
void raiseOpenFileLimit() {
    struct rlimit files = {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

void print(std::FILE *stream, const QString &text) {
    std::fputs((text + u'\n').toUtf8().constData(), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumivra-server"));

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments.at(1) == u"export") {
        const ParsedExportCommandLine exportLine = parseExportCommandLine(arguments.mid(1));
        if (!exportLine.options) {
            print(exportLine.exitCode == 0 ? stdout : stderr, exportLine.message);
            return exportLine.exitCode;
        }
        const QStringList problems = exportSite(*exportLine.options);
        for (const QString &problem : problems)
            print(stderr, QStringLiteral("lumivra-server export: %1").arg(problem));
        return problems.isEmpty() ? 0 : 1;
    }
    const ParsedCommandLine commandLine = parseCommandLine(arguments);
    if (!commandLine.options) {
        print(commandLine.exitCode == 0 ? stdout : stderr, commandLine.message);
        return commandLine.exitCode;
    }
    const ServerOptions &options = *commandLine.options;

    raiseOpenFileLimit();
    WallpaperHttpServer server(options.root, options.date, options.limits);
    QString error;
    const auto port = server.listenOn(options.address, options.port, &error);
    if (!port) {
        print(stderr, QStringLiteral("lumivra-server: 无法监听 / cannot listen on %1: %2")
                          .arg(serviceUrl(options.address, options.port).authority(), error));
        return 1;
    }
    quitOnTerminationSignals();

    // Scripts and tests read the port from this first line, so it is flushed at once.
    print(
        stdout,
        QStringLiteral("lumivra-server listening on %1").arg(serviceUrl(options.address, *port).toString()));
    print(stdout,
          QStringLiteral("lumivra-server serving %1%2")
              .arg(options.root,
                   options.date
                       ? QStringLiteral(" (today pinned to %1)").arg(options.date->toString(Qt::ISODate))
                       : QString()));
    return QCoreApplication::exec();
}
