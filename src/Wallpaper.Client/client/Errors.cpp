#include "client/Errors.h"

namespace lumivra {

Error::Error(QString description) : m_description(std::move(description)), m_utf8(m_description.toUtf8()) {}

namespace {
QString describe(WallpaperClientError::Kind kind, const QString &message) {
    switch (kind) {
    case WallpaperClientError::Kind::server:
        return message;
    case WallpaperClientError::Kind::invalidServerURL:
        return QStringLiteral("服务器地址无效。");
    case WallpaperClientError::Kind::emptyResponse:
        return QStringLiteral("服务器响应为空。");
    case WallpaperClientError::Kind::invalidDownloadHash:
        return QStringLiteral("壁纸文件校验失败，已保留当前桌面。");
    }
    return message;
}
} // namespace

WallpaperClientError::WallpaperClientError(Kind kind, const QString &message)
    : Error(describe(kind, message)), m_kind(kind) {}

} // namespace lumivra
