#include "ServerOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace lumivra::server {

bool parseListenAddress(const QString &text, QHostAddress *address, quint16 *port) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    bool portOk = false;
    const uint portNumber = text.mid(colon + 1).toUInt(&portOk);
    if (!portOk || portNumber > 65535)
        return false;
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return false; // an IPv6 address needs brackets, or its last group would read as the port
    QHostAddress parsed;
    if (!bracketed && host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host) || (bracketed != (parsed.protocol() == QAbstractSocket::IPv6Protocol)))
        return false;
    *address = parsed;
    *port = quint16(portNumber);
    return true;
}

QString defaultSamplesFolder() {
    const QStringList candidates{
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral("../share/lumivra-server/samples")),
        QStringLiteral(LUMIVRA_SERVER_SOURCE_SAMPLES),
        QStringLiteral(LUMIVRA_SERVER_INSTALLED_SAMPLES),
    };
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isDir())
            return QDir(candidate).canonicalPath();
    }
    return {};
}

ParsedCommandLine parseCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lumivra 壁纸服务：按日期从一个图片目录中提供当天的壁纸。\n"
                       "Lumivra wallpaper service: serves the picture of the day from a folder of images."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示帮助 / show this help."));
    const QCommandLineOption root(
        QStringLiteral("root"),
        QStringLiteral("壁纸目录（默认：自带示例）/ folder of pictures (default: the "
                       "bundled samples)."),
        QStringLiteral("DIR"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("监听地址 / address and port, e.g. 127.0.0.1:%1, [::1]:0 (0 = any free port).")
            .arg(ServerOptions::defaultPort),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption date(
        QStringLiteral("date"),
        QStringLiteral("固定“今天”的日期（默认：本机日期）/ pin the date taken as today "
                       "(default: the local date)."),
        QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption maxConnections(
        QStringLiteral("max-connections"),
        QStringLiteral("同时服务的连接数上限 / connections served at once (default: %1; also kept below the "
                       "open-file limit).")
            .arg(ServerLimits().maxConnections),
        QStringLiteral("N"));
    const QCommandLineOption headTimeout(
        QStringLiteral("head-timeout"),
        QStringLiteral("请求头须在此秒数内收齐 / seconds a client has to send its whole request head "
                       "(default: %1).")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(ServerLimits().headTimeout).count()),
        QStringLiteral("SECONDS"));
    parser.addOptions({help, root, listen, date, maxConnections, headTimeout});

    ParsedCommandLine result;
    const auto usageError = [&](const QString &message) {
        result.message = QStringLiteral("lumivra-server: %1\n%2").arg(message, parser.helpText());
        result.exitCode = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return usageError(QStringLiteral("命令行参数错误 / bad argument: %1").arg(parser.errorText()));
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("多余的参数 / unexpected argument: %1")
                              .arg(parser.positionalArguments().join(u' ')));
    if (parser.isSet(help)) {
        result.message = parser.helpText();
        return result;
    }

    ServerOptions options;
    if (parser.isSet(listen) && !parseListenAddress(parser.value(listen), &options.address, &options.port))
        return usageError(QStringLiteral("监听地址无效 / invalid --listen value: %1 (expected ADDRESS:PORT)")
                              .arg(parser.value(listen)));
    if (parser.isSet(date)) {
        const QDate pinned = QDate::fromString(parser.value(date), Qt::ISODate);
        if (!pinned.isValid() || parser.value(date).size() != 10)
            return usageError(QStringLiteral("日期无效 / invalid --date value: %1 (expected YYYY-MM-DD)")
                                  .arg(parser.value(date)));
        options.date = pinned;
    }
    if (parser.isSet(maxConnections)) {
        bool ok = false;
        options.limits.maxConnections = parser.value(maxConnections).toUInt(&ok);
        if (!ok || options.limits.maxConnections == 0)
            return usageError(QStringLiteral("--max-connections 应为正整数 / must be a positive number"));
    }
    if (parser.isSet(headTimeout)) {
        bool ok = false;
        const uint seconds = parser.value(headTimeout).toUInt(&ok);
        if (!ok || seconds == 0 || seconds > 3600)
            return usageError(QStringLiteral("--head-timeout 应为 1 到 3600 秒 / must be 1 to 3600 seconds"));
        options.limits.headTimeout = std::chrono::seconds(seconds);
        options.limits.keepAliveTimeout =
            std::min(options.limits.keepAliveTimeout, options.limits.headTimeout);
    }
    options.root = parser.isSet(root) ? parser.value(root) : defaultSamplesFolder();
    if (options.root.isEmpty() || !QFileInfo(options.root).isDir()) {
        result.message =
            options.root.isEmpty()
                ? QStringLiteral("lumivra-server: 找不到自带的示例壁纸目录，请用 --root 指定 / "
                                 "bundled samples not found, pass --root DIR")
                : QStringLiteral("lumivra-server: 壁纸目录不存在 / wallpaper folder not found: %1")
                      .arg(options.root);
        result.exitCode = 1;
        return result;
    }
    result.options = options;
    return result;
}

} // namespace lumivra::server
