#include "client/Models.h"

#include "client/Errors.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace lumivra;

namespace {

const char *const complete = R"({"id": 42, "effectiveDate": "2026-12-06", "fileName": "dawn.PNG",
    "contentType": "image/png", "length": 1234, "sha256": "ABCDEF0123456789", "downloadUrl": "files/dawn.PNG"})";

// The complete record with one member replaced by raw JSON text (or removed when the text is empty).
QByteArray withMember(const QString &key, const QByteArray &rawValue) {
    QJsonObject object = QJsonDocument::fromJson(complete).object();
    object.remove(key);
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (!rawValue.isEmpty())
        json.insert(1, "\"" + key.toUtf8() + "\":" + rawValue + ",");
    return json;
}

QString decodingError(const QByteArray &json) {
    try {
        WallpaperMetadataResponse::decode(json);
    } catch (const DecodingError &error) {
        return error.localizedDescription();
    }
    return {};
}

} // namespace

TEST(WallpaperMetadataResponse, DecodesEveryFieldAndIgnoresExtraKeys) {
    const auto record =
        WallpaperMetadataResponse::decode(withMember(QStringLiteral("extra"), R"({"x": [1, 2]})"));
    EXPECT_EQ(record.id, 42);
    EXPECT_EQ(record.effectiveDate, "2026-12-06");
    EXPECT_EQ(record.fileName, "dawn.PNG");
    EXPECT_EQ(record.contentType, "image/png");
    EXPECT_EQ(record.length, 1234);
    EXPECT_EQ(record.sha256, "ABCDEF0123456789");
    EXPECT_EQ(record.downloadUrl, "files/dawn.PNG");
    EXPECT_EQ(WallpaperMetadataResponse::decode(withMember(QStringLiteral("fileName"), R"("")")).fileName,
              "");
}

TEST(WallpaperMetadataResponse, AcceptsWholeNumbersInAnyNotationWithinSigned64Bits) {
    const auto id = [](const QByteArray &raw) {
        return WallpaperMetadataResponse::decode(withMember(QStringLiteral("id"), raw)).id;
    };
    EXPECT_EQ(id("1.0"), 1);
    EXPECT_EQ(id("1e3"), 1000);
    EXPECT_EQ(id("-7"), -7);
    EXPECT_EQ(id("9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(id("-9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(id("9007199254740993"), 9007199254740993LL); // beyond double precision, kept exact
}

TEST(WallpaperMetadataResponse, RejectsWhatIsNotAWhole64BitNumber) {
    for (const QByteArray raw :
         {"1.5", "9223372036854775808", "1e19", "-9.3e18", "\"5\"", "true", "null", "[]"})
        EXPECT_FALSE(decodingError(withMember(QStringLiteral("length"), raw)).isEmpty()) << raw.constData();
}

TEST(WallpaperMetadataResponse, ErrorsNameTheFieldAndTheProblem) {
    EXPECT_EQ(decodingError(withMember(QStringLiteral("sha256"), {})),
              "服务器返回的壁纸信息缺少字段“sha256”。");
    EXPECT_EQ(decodingError(withMember(QStringLiteral("sha256"), "null")),
              "服务器返回的壁纸信息中的字段“sha256”应为字符串，实际为null。");
    EXPECT_EQ(decodingError(withMember(QStringLiteral("effectiveDate"), "20261206")),
              "服务器返回的壁纸信息中的字段“effectiveDate”应为字符串，实际为数字。");
    EXPECT_EQ(decodingError(withMember(QStringLiteral("id"), "\"42\"")),
              "服务器返回的壁纸信息中的字段“id”应为整数，实际为字符串。");
    EXPECT_EQ(decodingError(withMember(QStringLiteral("id"), "1.5")),
              "服务器返回的壁纸信息中的字段“id”应为 64 位整数，实际为 1.5。");
    // Keys are matched exactly: a differently cased key counts as missing.
    QByteArray json = complete;
    json.replace("\"length\"", "\"Length\"");
    EXPECT_EQ(decodingError(json), "服务器返回的壁纸信息缺少字段“length”。");
}

TEST(WallpaperMetadataResponse, TheBodyMustBeAJsonObject) {
    EXPECT_EQ(decodingError("[1, 2]"), "服务器返回的壁纸信息应为 JSON 对象。");
    EXPECT_TRUE(decodingError("<html>oops</html>").startsWith("服务器返回的壁纸信息不是有效的 JSON"));
    EXPECT_FALSE(decodingError("").isEmpty());
}

TEST(ApiErrorResponse, DecodesTheErrorTextOnly) {
    EXPECT_EQ(ApiErrorResponse::decode(R"({"error": "今日壁纸尚未发布", "code": 7})").error,
              "今日壁纸尚未发布");
    EXPECT_EQ(ApiErrorResponse::decode(R"({"error": ""})").error, "");
    EXPECT_THROW(ApiErrorResponse::decode(R"({"error": 404})"), DecodingError);
    EXPECT_THROW(ApiErrorResponse::decode(R"({"message": "x"})"), DecodingError);
    EXPECT_THROW(ApiErrorResponse::decode("not json"), DecodingError);
}
