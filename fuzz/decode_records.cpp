// The two JSON records the service sends, decoded from arbitrary bodies. A body either fails with
// DecodingError (anything else escaping is a finding), or the fields hold the members of their names exactly
// as a plain JSON reader sees them: numbers neither rounded nor truncated, the texts that name and check the
// file as sent. Whatever length a record announces, its picture may take twice that, within 64 MiB to 1 GiB.
#include "FuzzSupport.h"
#include "client/Errors.h"
#include "client/Models.h"
#include "client/Transfer.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace lumivra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QJsonObject decoded;
    try {
        const auto r = WallpaperMetadataResponse::decode(body);
        decoded = {{"id", r.id}, {"length", r.length}, {"fileName", r.fileName}, {"sha256", r.sha256}};
        const qint64 ceiling = pictureBudget(r.length, std::chrono::minutes(1)).ceiling;
        LUMIVRA_FUZZ_CHECK(ceiling >= qint64(64) << 20 && ceiling <= maxPictureBytes &&
                               (ceiling == maxPictureBytes || r.length <= ceiling / 2),
                           QString::number(r.length));
    } catch (const DecodingError &) {
    }
    try {
        decoded.insert("error", ApiErrorResponse::decode(body).error);
    } catch (const DecodingError &) {
    }
    for (auto field = decoded.begin(); field != decoded.end(); ++field)
        LUMIVRA_FUZZ_CHECK(QJsonDocument::fromJson(body)[field.key()] == field.value(), field.key());
    return 0;
}
