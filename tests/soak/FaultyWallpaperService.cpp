#include "FaultyWallpaperService.h"

#include "client/Sha256.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <array>

namespace lumivra::test {

namespace {

const QString emptyAnswer = QStringLiteral("服务器响应为空。");
const QString hashMismatch = QStringLiteral("壁纸文件校验失败，已保留当前桌面。");

Expectation exactly(const QString &text) {
    return {Expectation::Kind::exactMessage, text};
}
Expectation beginningWith(const QString &text) {
    return {Expectation::Kind::messagePrefix, text};
}
Expectation someFailure() {
    return {Expectation::Kind::anyMessage, {}};
}

} // namespace

QString faultName(Fault fault) {
    switch (fault) {
    case Fault::none:
        return QStringLiteral("proper answer");
    case Fault::redirected:
        return QStringLiteral("one redirect");
    case Fault::serverErrorWithBody:
        return QStringLiteral("5xx with error body");
    case Fault::serverErrorBare:
        return QStringLiteral("5xx without error body");
    case Fault::cutMidBody:
        return QStringLiteral("connection cut mid-body");
    case Fault::stalled:
        return QStringLiteral("stalled beyond time-out");
    case Fault::redirectLoop:
        return QStringLiteral("redirect loop");
    case Fault::emptyBody:
        return QStringLiteral("empty body");
    case Fault::garbageJson:
        return QStringLiteral("garbage JSON");
    case Fault::wrongDigest:
        return QStringLiteral("wrong digest");
    }
    return {};
}

bool Expectation::matches(const QString &failureDescription) const {
    switch (kind) {
    case Kind::success:
        return false;
    case Kind::exactMessage:
        return failureDescription == text;
    case Kind::messagePrefix:
        return failureDescription.startsWith(text);
    case Kind::anyMessage:
        return !failureDescription.isEmpty();
    }
    return false;
}

FaultyWallpaperService::FaultyWallpaperService(quint64 seed, std::chrono::milliseconds clientTimeout)
    : m_random(seed), m_clientTimeout(clientTimeout) {
    m_server.on(todayPath, [this](const RecordedRequest &) { return m_metadataAnswer; });
    m_server.on(QStringLiteral("/moved/today"),
                [this](const RecordedRequest &) { return m_movedMetadataAnswer; });
    m_server.on(imagePath, [this](const RecordedRequest &) { return m_imageAnswer; });
    m_server.on(QStringLiteral("/moved/image"),
                [this](const RecordedRequest &) { return m_movedImageAnswer; });
    m_server.on(QStringLiteral("/loop/a"), ScriptedResponse::redirect("/loop/b"));
    m_server.on(QStringLiteral("/loop/b"), ScriptedResponse::redirect("/loop/a", 307));
}

int FaultyWallpaperService::uniform(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

bool FaultyWallpaperService::chance(double probability) {
    return std::bernoulli_distribution(probability)(m_random);
}

QByteArray FaultyWallpaperService::randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(m_random());
    return bytes;
}

const CyclePlan &FaultyWallpaperService::planNextCycle() {
    m_plan.wallpaper = nextWallpaper();
    // The link to the image comes in every form the client must resolve alike.
    static const std::array<QString, 3> relativeLinks = {
        QStringLiteral("files/image"), QStringLiteral("/files/image"), QStringLiteral("///files/image")};
    const int link = uniform(0, 3);
    m_downloadUrl = link < 3 ? relativeLinks[link] : m_server.url(imagePath);
    m_plan.desktopRefuses = chance(1.0 / 12);
    planMetadata();
    planImage();
    return m_plan;
}

Wallpaper FaultyWallpaperService::nextWallpaper() {
    // Half the cycles see the same wallpaper again, as the hourly refreshes of one day do.
    if (m_plan.wallpaper.id != 0 && chance(0.5))
        return m_plan.wallpaper;
    static const std::array<std::pair<QString, QString>, 4> names = {{
        {QStringLiteral("daily.png"), QStringLiteral("image/png")},
        {QStringLiteral("Aurora.JPG"), QStringLiteral("image/jpeg")},
        {QString(), QStringLiteral("image/webp")},
        {QStringLiteral("archive.tar.bmp"), QStringLiteral("application/octet-stream")},
    }};
    Wallpaper wallpaper;
    wallpaper.id = m_plan.wallpaper.id + 1;
    wallpaper.effectiveDate =
        QStringLiteral("2026-12-%1").arg(wallpaper.id % 28 + 1, 2, 10, QLatin1Char('0'));
    std::tie(wallpaper.fileName, wallpaper.contentType) = names[uniform(0, 3)];
    wallpaper.image = randomBytes(uniform(1 << 10, 256 << 10));
    wallpaper.announcedSha256 = sha256Hex(wallpaper.image);
    if (chance(0.2))
        wallpaper.announcedSha256 = wallpaper.announcedSha256.toUpper();
    return wallpaper;
}

QByteArray FaultyWallpaperService::metadataJson() const {
    const Wallpaper &w = m_plan.wallpaper;
    const QJsonObject object{
        {QStringLiteral("id"), w.id},
        {QStringLiteral("effectiveDate"), w.effectiveDate},
        {QStringLiteral("fileName"), w.fileName},
        {QStringLiteral("contentType"), w.contentType},
        {QStringLiteral("length"), w.image.size()},
        {QStringLiteral("sha256"), w.announcedSha256},
        {QStringLiteral("downloadUrl"), m_downloadUrl},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray FaultyWallpaperService::garbageJson() {
    const QByteArray proper = metadataJson();
    switch (uniform(0, 4)) {
    case 0: // not JSON at all; the leading byte can start no JSON text
        return "\xff" + randomBytes(uniform(0, 200));
    case 1: // the proper record, cut short
        return proper.left(uniform(1, static_cast<int>(proper.size()) - 1));
    case 2:
        return "[" + proper + "]";
    case 3:
        return QByteArray(proper).replace("\"sha256\"", "\"SHA256\"");
    default:
        return QByteArray(proper).replace("\"id\":", "\"id\":\"").replace(",\"length\"", "\",\"length\"");
    }
}

ScriptedResponse FaultyWallpaperService::properAnswer(const QByteArray &body, bool json) {
    ScriptedResponse response = json ? ScriptedResponse::json(body) : ScriptedResponse::bytes(body);
    const int framing = uniform(0, 2);
    response.chunked = framing == 1;
    // Images are asked for uncompressed, and a compressed one is refused.
    response.gzip = framing == 2 && json;
    return response;
}

ScriptedResponse FaultyWallpaperService::serverError(bool withErrorText, Expectation &outcome) {
    static const std::array<int, 4> statuses = {500, 502, 503, 504};
    const int status = statuses[uniform(0, 3)];
    if (withErrorText) {
        // The service's own text reaches the user verbatim, even an empty one.
        static const std::array<QString, 3> texts = {QStringLiteral("今日壁纸暂不可用"),
                                                     QStringLiteral("maintenance until 14:00"), QString()};
        const QString text = texts[uniform(0, 2)];
        outcome = exactly(text);
        const QJsonObject body{{QStringLiteral("error"), text}, {QStringLiteral("status"), status}};
        return ScriptedResponse::json(QJsonDocument(body).toJson(), status);
    }
    static const std::array<QByteArray, 4> bodies = {QByteArray(), "<html><body>Bad gateway</body></html>",
                                                     R"({"message":"down"})", R"({"error":503})"};
    outcome = exactly(QStringLiteral("服务器返回错误：") + QString::number(status));
    return ScriptedResponse::bytes(bodies[uniform(0, 3)], status);
}

ScriptedResponse FaultyWallpaperService::redirectTo(const QString &path) {
    static const std::array<int, 5> statuses = {301, 302, 303, 307, 308};
    // Relative and absolute locations alike.
    const QString location = chance(0.5) ? path : m_server.url(path);
    return ScriptedResponse::redirect(location.toLatin1(), statuses[uniform(0, 4)]);
}

ScriptedResponse FaultyWallpaperService::brokenTransfer(const QByteArray &body, Fault fault) {
    ScriptedResponse response = ScriptedResponse::bytes(body);
    response.chunked = chance(0.3);
    const qint64 at = uniform(0, static_cast<int>(body.size()) - 1);
    if (fault == Fault::cutMidBody)
        response.cutAfter = at;
    else if (chance(0.25))
        response.delay = 3 * m_clientTimeout; // not even a status line in time
    else
        response.stallAfter = at;
    return response;
}

void FaultyWallpaperService::planMetadata() {
    static const std::array<Fault, 9> faults = {
        Fault::none,       Fault::redirected, Fault::serverErrorWithBody, Fault::serverErrorBare,
        Fault::cutMidBody, Fault::stalled,    Fault::redirectLoop,        Fault::emptyBody,
        Fault::garbageJson};
    // About half the cycles get their metadata.
    std::discrete_distribution<int> pick({8, 2, 2, 2, 2, 1, 1, 1, 2});
    const Fault fault = faults[pick(m_random)];
    const QByteArray proper = metadataJson();
    m_plan.metadataFault = fault;
    m_plan.metadataOutcome = {};
    m_movedMetadataAnswer = properAnswer(proper, true);
    switch (fault) {
    case Fault::none:
        m_metadataAnswer = m_movedMetadataAnswer;
        break;
    case Fault::redirected:
        m_metadataAnswer = redirectTo(QStringLiteral("/moved/today"));
        break;
    case Fault::serverErrorWithBody:
    case Fault::serverErrorBare:
        m_metadataAnswer = serverError(fault == Fault::serverErrorWithBody, m_plan.metadataOutcome);
        break;
    case Fault::cutMidBody:
        m_metadataAnswer = brokenTransfer(proper, fault);
        m_plan.metadataOutcome = someFailure();
        break;
    case Fault::stalled:
        m_metadataAnswer = brokenTransfer(proper, fault);
        m_plan.metadataOutcome = beginningWith(QStringLiteral("请求超时"));
        break;
    case Fault::redirectLoop:
        m_metadataAnswer = redirectTo(QStringLiteral("/loop/a"));
        m_plan.metadataOutcome = someFailure();
        break;
    case Fault::emptyBody:
        m_metadataAnswer = ScriptedResponse::bytes({}, chance(0.5) ? 200 : 204);
        m_plan.metadataOutcome = exactly(emptyAnswer);
        break;
    case Fault::garbageJson:
    case Fault::wrongDigest:
        m_metadataAnswer = ScriptedResponse::json(garbageJson());
        m_plan.metadataOutcome = beginningWith(QStringLiteral("服务器返回的壁纸信息"));
        break;
    }
}

void FaultyWallpaperService::planImage() {
    static const std::array<Fault, 9> faults = {
        Fault::none,       Fault::redirected, Fault::serverErrorWithBody, Fault::serverErrorBare,
        Fault::cutMidBody, Fault::stalled,    Fault::redirectLoop,        Fault::emptyBody,
        Fault::wrongDigest};
    std::discrete_distribution<int> pick({6, 2, 2, 2, 2, 1, 1, 1, 2});
    const Fault fault = faults[pick(m_random)];
    const QByteArray &image = m_plan.wallpaper.image;
    m_plan.imageFault = fault;
    m_plan.downloadOutcome = {};
    m_movedImageAnswer = properAnswer(image, false);
    switch (fault) {
    case Fault::none:
        m_imageAnswer = m_movedImageAnswer;
        break;
    case Fault::redirected:
        m_imageAnswer = redirectTo(QStringLiteral("/moved/image"));
        break;
    case Fault::serverErrorWithBody:
    case Fault::serverErrorBare:
        m_imageAnswer = serverError(fault == Fault::serverErrorWithBody, m_plan.downloadOutcome);
        break;
    case Fault::cutMidBody:
        m_imageAnswer = brokenTransfer(image, fault);
        m_plan.downloadOutcome = someFailure();
        break;
    case Fault::stalled:
        m_imageAnswer = brokenTransfer(image, fault);
        m_plan.downloadOutcome = beginningWith(QStringLiteral("请求超时"));
        break;
    case Fault::redirectLoop:
        m_imageAnswer = redirectTo(QStringLiteral("/loop/a"));
        m_plan.downloadOutcome = someFailure();
        break;
    case Fault::emptyBody:
        m_imageAnswer = ScriptedResponse::bytes({});
        m_plan.downloadOutcome = exactly(hashMismatch);
        break;
    case Fault::garbageJson:
    case Fault::wrongDigest: {
        QByteArray other = image;
        switch (uniform(0, 2)) {
        case 0: // one bit flipped somewhere
            other[uniform(0, static_cast<int>(other.size()) - 1)] ^= 0x10;
            break;
        case 1: // a byte more than announced
            other.append('\0');
            break;
        default: // another picture of the same size
            other = randomBytes(other.size());
        }
        m_imageAnswer = properAnswer(other, false);
        m_plan.downloadOutcome = exactly(hashMismatch);
        break;
    }
    }
}

} // namespace lumivra::test
