#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace lumivra {

// The service's description of today's wallpaper.
struct WallpaperMetadataResponse {
    qint64 id = 0;
    QString effectiveDate;
    QString fileName;
    QString contentType;
    qint64 length = 0;
    QString sha256;
    QString downloadUrl;

    // Throws DecodingError naming the field and what was wrong with it.
    static WallpaperMetadataResponse decode(const QByteArray &json);
};

// The body the service may send with an error status.
struct ApiErrorResponse {
    QString error;

    // Throws DecodingError.
    static ApiErrorResponse decode(const QByteArray &json);
};

} // namespace lumivra
