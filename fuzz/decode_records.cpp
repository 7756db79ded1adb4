// The two JSON records the service sends, decoded from arbitrary bodies. A body either decodes or fails
// with DecodingError and a message for the user; anything else escaping is a finding.
#include "FuzzSupport.h"
#include "client/Errors.h"
#include "client/Models.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace lumivra;

namespace {

// Written back the way the service would send it: what decoded once must decode again to the same record,
// so nothing is lost or invented between the wire and the record.
QByteArray encode(const WallpaperMetadataResponse &record) {
    const QJsonObject object{
        {QStringLiteral("id"), record.id},
        {QStringLiteral("effectiveDate"), record.effectiveDate},
        {QStringLiteral("fileName"), record.fileName},
        {QStringLiteral("contentType"), record.contentType},
        {QStringLiteral("length"), record.length},
        {QStringLiteral("sha256"), record.sha256},
        {QStringLiteral("downloadUrl"), record.downloadUrl},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool operator==(const WallpaperMetadataResponse &a, const WallpaperMetadataResponse &b) {
    return a.id == b.id && a.effectiveDate == b.effectiveDate && a.fileName == b.fileName &&
           a.contentType == b.contentType && a.length == b.length && a.sha256 == b.sha256 &&
           a.downloadUrl == b.downloadUrl;
}

void decodeMetadata(const QByteArray &body) {
    WallpaperMetadataResponse record;
    try {
        record = WallpaperMetadataResponse::decode(body);
    } catch (const DecodingError &error) {
        LUMIVRA_FUZZ_CHECK(!error.localizedDescription().isEmpty(), QString::fromUtf8(body));
        return;
    }
    const QByteArray again = encode(record);
    LUMIVRA_FUZZ_CHECK(WallpaperMetadataResponse::decode(again) == record, QString::fromUtf8(again));
}

void decodeErrorBody(const QByteArray &body) {
    ApiErrorResponse record;
    try {
        record = ApiErrorResponse::decode(body);
    } catch (const DecodingError &error) {
        LUMIVRA_FUZZ_CHECK(!error.localizedDescription().isEmpty(), QString::fromUtf8(body));
        return;
    }
    const QByteArray again = QJsonDocument(QJsonObject{{QStringLiteral("error"), record.error}}).toJson();
    LUMIVRA_FUZZ_CHECK(ApiErrorResponse::decode(again).error == record.error, QString::fromUtf8(again));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    decodeMetadata(body);
    decodeErrorBody(body);
    return 0;
}
