#include "ServerOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <climits>

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

namespace {

// A bound of ServerLimits the command line may set: a whole number within a range.
struct LimitOption {
    QCommandLineOption option;
    uint minimum;
    uint maximum;
    QString invalid; // what the number must be, shown when it is not
    void (*apply)(ServerLimits &limits, uint value);
};

qlonglong seconds(std::chrono::milliseconds duration) {
    return qlonglong(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

QList<LimitOption> limitOptions() {
    const ServerLimits defaults;
    const auto option = [](const char *name, const QString &description, const char *value) {
        return QCommandLineOption(QLatin1String(name), description, QLatin1String(value));
    };
    const QString positive = QStringLiteral("must be a positive number");
    return {
        {option(
             "max-connections",
             QStringLiteral("connections served at once (default: %1; also kept below the open-file limit).")
                 .arg(defaults.maxConnections),
             "N"),
         1, UINT_MAX, positive, [](ServerLimits &limits, uint value) { limits.maxConnections = value; }},
        {option("max-connections-per-address",
                QStringLiteral("connections one client address may hold (default: %1).")
                    .arg(defaults.maxConnectionsPerAddress),
                "N"),
         1, UINT_MAX, positive,
         [](ServerLimits &limits, uint value) { limits.maxConnectionsPerAddress = value; }},
        {option("head-timeout",
                QStringLiteral("seconds a client has to send its whole request head (default: %1).")
                    .arg(seconds(defaults.headTimeout)),
                "SECONDS"),
         1, 3600, QStringLiteral("must be 1 to 3600 seconds"),
         [](ServerLimits &limits, uint value) {
             limits.headTimeout = std::chrono::seconds(value);
             limits.keepAliveTimeout = std::min(limits.keepAliveTimeout, limits.headTimeout);
         }},
        {option(
             "send-grace",
             QStringLiteral("seconds an answer may take beyond its size at the minimum rate (default: %1).")
                 .arg(seconds(defaults.sendGrace)),
             "SECONDS"),
         0, 3600, QStringLiteral("must be 0 to 3600 seconds"),
         [](ServerLimits &limits, uint value) { limits.sendGrace = std::chrono::seconds(value); }},
        {option("min-send-rate",
                QStringLiteral("bytes per second a client must take an answer at (default: %1).")
                    .arg(defaults.minimumSendRate),
                "BYTES"),
         1, UINT_MAX, positive, [](ServerLimits &limits, uint value) { limits.minimumSendRate = value; }},
    };
}

// Sets the limits the command line gives; the complaint about the first one out of range, or nothing.
QString readLimits(const QCommandLineParser &parser, const QList<LimitOption> &options,
                   ServerLimits *limits) {
    for (const LimitOption &limit : options) {
        if (!parser.isSet(limit.option))
            continue;
        bool ok = false;
        const uint value = parser.value(limit.option).toUInt(&ok);
        if (!ok || value < limit.minimum || value > limit.maximum)
            return QStringLiteral("--%1 %2").arg(limit.option.names().constFirst(), limit.invalid);
        limit.apply(*limits, value);
    }
    return {};
}

// Reads --listen and --date; the complaint about the first one that is not valid, or nothing.
QString readAddressAndDate(const QCommandLineParser &parser, const QCommandLineOption &listen,
                           const QCommandLineOption &date, ServerOptions *options) {
    if (parser.isSet(listen) && !parseListenAddress(parser.value(listen), &options->address, &options->port))
        return QStringLiteral("invalid --listen value: %1 (expected ADDRESS:PORT)").arg(parser.value(listen));
    if (parser.isSet(date)) {
        const QDate pinned = QDate::fromString(parser.value(date), Qt::ISODate);
        if (!pinned.isValid() || parser.value(date).size() != 10)
            return QStringLiteral("invalid --date value: %1 (expected YYYY-MM-DD)").arg(parser.value(date));
        options->date = pinned;
    }
    return {};
}

// What to tell when there is no folder to serve, or nothing.
QString missingFolder(const QString &root) {
    if (root.isEmpty())
        return QStringLiteral("lumivra-server: bundled samples not found, pass --root DIR");
    if (!QFileInfo(root).isDir())
        return QStringLiteral("lumivra-server: wallpaper folder not found: %1").arg(root);
    return {};
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lumivra wallpaper service: serves the picture of the day from a folder of images."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help."));
    const QCommandLineOption root(QStringLiteral("root"),
                                  QStringLiteral("folder of pictures (default: the bundled samples)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("address and port, e.g. 127.0.0.1:%1, [::1]:0 (0 = any free port).")
            .arg(ServerOptions::defaultPort),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption date(QStringLiteral("date"),
                                  QStringLiteral("pin the date taken as today (default: the local date)."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QList<LimitOption> limits = limitOptions();
    parser.addOptions({help, root, listen, date});
    for (const LimitOption &limit : limits)
        parser.addOption(limit.option);

    ParsedCommandLine result;
    const auto usageError = [&](const QString &message) {
        result.message = QStringLiteral("lumivra-server: %1\n%2").arg(message, parser.helpText());
        result.exitCode = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return usageError(QStringLiteral("bad argument: %1").arg(parser.errorText()));
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().join(u' ')));
    if (parser.isSet(help)) {
        result.message = parser.helpText();
        return result;
    }

    ServerOptions options;
    QString invalid = readAddressAndDate(parser, listen, date, &options);
    if (invalid.isEmpty())
        invalid = readLimits(parser, limits, &options.limits);
    if (!invalid.isEmpty())
        return usageError(invalid);
    options.root = parser.isSet(root) ? parser.value(root) : defaultSamplesFolder();
    result.message = missingFolder(options.root);
    result.exitCode = result.message.isEmpty() ? 0 : 1;
    if (result.message.isEmpty())
        result.options = options;
    return result;
}

} // namespace lumivra::server
