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
QByteArray withMember(const char *key, const QByteArray &rawValue) {
    QJsonObject object = QJsonDocument::fromJson(complete).object();
    object.remove(QLatin1String(key));
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (!rawValue.isEmpty())
        json.insert(1, "\"" + QByteArray(key) + "\":" + rawValue + ",");
    return json;
}

} // namespace

TEST(WallpaperMetadataResponse, DecodesEveryField) {
    const auto record = WallpaperMetadataResponse::decode(complete);
    EXPECT_EQ(record.id, 42);
    EXPECT_EQ(record.effectiveDate, "2026-12-06");
    EXPECT_EQ(record.fileName, "dawn.PNG");
    EXPECT_EQ(record.contentType, "image/png");
    EXPECT_EQ(record.length, 1234);
    EXPECT_EQ(record.sha256, "ABCDEF0123456789");
    EXPECT_EQ(record.downloadUrl, "files/dawn.PNG");
}

// Whole numbers in any notation within signed 64 bits, exact beyond a double's precision.
TEST(WallpaperMetadataResponse, AcceptsWholeNumbersOnly) {
    const struct {
        QByteArray raw;
        qint64 id;
    } accepted[] = {
        {"1.0", 1},
        {"1e3", 1000},
        {"-7", -7},
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"9007199254740993", 9007199254740993LL},
    };
    for (const auto &row : accepted)
        EXPECT_EQ(WallpaperMetadataResponse::decode(withMember("id", row.raw)).id, row.id) << row.raw.data();
    for (const QByteArray raw : {"1.5", "9223372036854775808", "1e19", "-9.3e18", "true", "[]"})
        EXPECT_THROW(WallpaperMetadataResponse::decode(withMember("length", raw)), DecodingError)
            << raw.data();
}

// The message names the field and the problem; keys are matched exactly.
TEST(WallpaperMetadataResponse, DecodingErrorsSayWhatIsWrong) {
    QByteArray misspelt = complete;
    misspelt.replace("\"length\"", "\"Length\"");
    const struct {
        QByteArray body;
        const char *message;
    } rows[] = {
        {withMember("sha256", {}), "服务器返回的壁纸信息缺少字段“sha256”。"},
        {withMember("sha256", "null"), "服务器返回的壁纸信息中的字段“sha256”应为字符串，实际为null。"},
        {withMember("effectiveDate", "20261206"),
         "服务器返回的壁纸信息中的字段“effectiveDate”应为字符串，实际为数字。"},
        {withMember("id", "\"42\""), "服务器返回的壁纸信息中的字段“id”应为整数，实际为字符串。"},
        {withMember("id", "1.5"), "服务器返回的壁纸信息中的字段“id”应为 64 位整数，实际为 1.5。"},
        {misspelt, "服务器返回的壁纸信息缺少字段“length”。"},
        {"[1, 2]", "服务器返回的壁纸信息应为 JSON 对象。"},
    };
    for (const auto &row : rows) {
        try {
            WallpaperMetadataResponse::decode(row.body);
            ADD_FAILURE() << row.body.data();
        } catch (const DecodingError &error) {
            EXPECT_EQ(error.localizedDescription(), row.message);
        }
    }
    EXPECT_THROW(WallpaperMetadataResponse::decode("<html>oops</html>"), DecodingError);
}
