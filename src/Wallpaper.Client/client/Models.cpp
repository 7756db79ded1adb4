#include "client/Models.h"

#include "client/Errors.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QVariant>
#include <cmath>

namespace lumivra {

namespace {

QString kindOf(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("布尔值");
    case QJsonValue::Double:
        return QStringLiteral("数字");
    case QJsonValue::String:
        return QStringLiteral("字符串");
    case QJsonValue::Array:
        return QStringLiteral("数组");
    case QJsonValue::Object:
        return QStringLiteral("对象");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("未知值");
}

class RecordReader {
public:
    RecordReader(const QByteArray &json, QString recordName) : m_name(std::move(recordName)) {
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            throw DecodingError(QStringLiteral("%1不是有效的 JSON（第 %2 个字节处：%3）。")
                                    .arg(m_name)
                                    .arg(parseError.offset + 1)
                                    .arg(parseError.errorString()));
        if (!document.isObject())
            throw DecodingError(QStringLiteral("%1应为 JSON 对象。").arg(m_name));
        m_object = document.object();
    }

    QString string(const QString &key) const {
        const QJsonValue value = require(key);
        if (!value.isString())
            throw wrongKind(key, QStringLiteral("字符串"), value);
        return value.toString();
    }

    // A whole number within the signed 64-bit range, whether written as 42, 42.0 or 4.2e1.
    qint64 integer(const QString &key) const {
        const QJsonValue value = require(key);
        if (!value.isDouble())
            throw wrongKind(key, QStringLiteral("整数"), value);
        const QVariant number = value.toVariant();
        if (number.typeId() == QMetaType::LongLong)
            return number.toLongLong();
        const double d = value.toDouble();
        // 2^63 is the first double past the range; every double below it in magnitude fits exactly.
        constexpr double limit = 9223372036854775808.0;
        if (!std::isfinite(d) || std::trunc(d) != d || d >= limit || d < -limit)
            throw DecodingError(
                QStringLiteral("%1中的字段“%2”应为 64 位整数，实际为 %3。").arg(m_name, key, numberText(d)));
        return static_cast<qint64>(d);
    }

private:
    QJsonValue require(const QString &key) const {
        const auto it = m_object.constFind(key);
        if (it == m_object.constEnd())
            throw DecodingError(QStringLiteral("%1缺少字段“%2”。").arg(m_name, key));
        return *it;
    }

    DecodingError wrongKind(const QString &key, const QString &expected, const QJsonValue &actual) const {
        return DecodingError(
            QStringLiteral("%1中的字段“%2”应为%3，实际为%4。").arg(m_name, key, expected, kindOf(actual)));
    }

    static QString numberText(double d) { return QString::number(d, 'g', 17); }

    QString m_name;
    QJsonObject m_object;
};

} // namespace

WallpaperMetadataResponse WallpaperMetadataResponse::decode(const QByteArray &json) {
    const RecordReader reader(json, QStringLiteral("服务器返回的壁纸信息"));
    WallpaperMetadataResponse record;
    record.id = reader.integer(QStringLiteral("id"));
    record.effectiveDate = reader.string(QStringLiteral("effectiveDate"));
    record.fileName = reader.string(QStringLiteral("fileName"));
    record.contentType = reader.string(QStringLiteral("contentType"));
    record.length = reader.integer(QStringLiteral("length"));
    record.sha256 = reader.string(QStringLiteral("sha256"));
    // No picture has an empty digest: such a record would only ever download a picture to reject it.
    if (record.sha256.isEmpty())
        throw DecodingError(QStringLiteral("服务器返回的壁纸信息中的字段“sha256”为空。"));
    record.downloadUrl = reader.string(QStringLiteral("downloadUrl"));
    return record;
}

ApiErrorResponse ApiErrorResponse::decode(const QByteArray &json) {
    const RecordReader reader(json, QStringLiteral("服务器返回的错误信息"));
    return {reader.string(QStringLiteral("error"))};
}

} // namespace lumivra
