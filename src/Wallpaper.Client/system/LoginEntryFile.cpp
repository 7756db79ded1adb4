#include "system/LoginEntryFile.h"

#include "client/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

namespace lumivra {

namespace {
// std::filesystem rather than QDir, whose mkpath and removeRecursively do not say why they failed.
std::filesystem::path nativePath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}
} // namespace

bool loginEntryExists(const QString &path) {
    return QFileInfo::exists(path);
}

void writeLoginEntry(const QString &path, const QByteArray &content) {
    const QString folder = QFileInfo(path).path();
    std::error_code error;
    std::filesystem::create_directories(nativePath(folder), error);
    if (error) {
        throw FileError(QStringLiteral("无法创建文件夹“%1”：%2")
                            .arg(QDir::toNativeSeparators(folder), qt_error_string(error.value())));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        throw FileError(
            QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}

void removeLoginEntry(const QString &path) {
    const QFileInfo entry(path);
    if (!entry.exists() && !entry.isSymLink())
        return;
    std::error_code error;
    std::filesystem::remove_all(nativePath(path), error);
    if (error) {
        throw FileError(QStringLiteral("无法删除“%1”：%2")
                            .arg(QDir::toNativeSeparators(path), qt_error_string(error.value())));
    }
}

} // namespace lumivra
