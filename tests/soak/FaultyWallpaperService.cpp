#include "FaultyWallpaperService.h"

#include "client/Sha256.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <array>

namespace lumivra::test {

namespace {

const QString emptyAnswer = QStringLiteral("服务器响应为空。");
const QString hashMismatch = QStringLiteral("壁纸文件校验失败，已保留当前桌面。");

Expectation beginningWith(const QString &text) {
    return QRegularExpression(u'^' + QRegularExpression::escape(text));
}
Expectation someFailure() {
    return QRegularExpression(QStringLiteral("."));
}

} // namespace

QString faultName(Fault fault) {
    static const std::array<const char *, 10> names = {"proper answer",
                                                       "one redirect",
                                                       "5xx with error body",
                                                       "5xx without error body",
                                                       "connection cut mid-body",
                                                       "stalled beyond time-out",
                                                       "redirect loop",
                                                       "empty body",
                                                       "garbage JSON",
                                                       "wrong digest"};
    return QString::fromLatin1(names[static_cast<size_t>(fault)]);
}

Expectation exactly(const QString &text) {
    return QRegularExpression(QRegularExpression::anchoredPattern(QRegularExpression::escape(text)));
}

FaultyWallpaperService::FaultyWallpaperService(quint64 seed, std::chrono::milliseconds clientTimeout)
    : m_random(seed), m_clientTimeout(clientTimeout) {
    for (const QString &path : {todayPath, imagePath}) {
        for (const QString &served : {path, QStringLiteral("/moved") + path})
            m_server.on(served, [this, served](const RecordedRequest &) { return m_answers.value(served); });
    }
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
    planRequest(todayPath, metadataJson(), m_plan.metadata);
    planRequest(imagePath, m_plan.wallpaper.image, m_plan.image);
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

QByteArray FaultyWallpaperService::otherImage() {
    QByteArray other = m_plan.wallpaper.image;
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
    return other;
}

void FaultyWallpaperService::planRequest(const QString &path, const QByteArray &proper, RequestPlan &plan) {
    const bool metadata = path == todayPath;
    // The last fault is the request's own kind of wrong content.
    const std::array<Fault, 9> faults = {Fault::none,
                                         Fault::redirected,
                                         Fault::serverErrorWithBody,
                                         Fault::serverErrorBare,
                                         Fault::cutMidBody,
                                         Fault::stalled,
                                         Fault::redirectLoop,
                                         Fault::emptyBody,
                                         metadata ? Fault::garbageJson : Fault::wrongDigest};
    // About half the cycles get their metadata, and about half of those their image.
    std::discrete_distribution<int> pick({metadata ? 8.0 : 6.0, 2, 2, 2, 2, 1, 1, 1, 2});
    plan = {faults[pick(m_random)], {}};
    const QString moved = QStringLiteral("/moved") + path;
    m_answers[moved] = properAnswer(proper, metadata);
    ScriptedResponse answer = m_answers[moved];
    switch (plan.fault) {
    case Fault::none:
        break;
    case Fault::redirected:
        answer = redirectTo(moved);
        break;
    case Fault::serverErrorWithBody:
    case Fault::serverErrorBare:
        answer = serverError(plan.fault == Fault::serverErrorWithBody, plan.outcome);
        break;
    case Fault::cutMidBody:
        answer = brokenTransfer(proper, plan.fault);
        plan.outcome = someFailure();
        break;
    case Fault::stalled:
        answer = brokenTransfer(proper, plan.fault);
        plan.outcome = beginningWith(QStringLiteral("请求超时"));
        break;
    case Fault::redirectLoop:
        answer = redirectTo(QStringLiteral("/loop/a"));
        plan.outcome = someFailure();
        break;
    case Fault::emptyBody:
        answer = ScriptedResponse::bytes({}, metadata && chance(0.5) ? 204 : 200);
        plan.outcome = exactly(metadata ? emptyAnswer : hashMismatch);
        break;
    case Fault::garbageJson:
        answer = ScriptedResponse::json(garbageJson());
        plan.outcome = beginningWith(QStringLiteral("服务器返回的壁纸信息"));
        break;
    case Fault::wrongDigest:
        answer = properAnswer(otherImage(), false);
        plan.outcome = exactly(hashMismatch);
        break;
    }
    m_answers[path] = answer;
}

} // namespace lumivra::test
