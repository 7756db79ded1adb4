#include "ApiError.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace lumivra::server {

QByteArray ApiError::body() const {
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), m_message}}).toJson(QJsonDocument::Compact);
}

} // namespace lumivra::server
