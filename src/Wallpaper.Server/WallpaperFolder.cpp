#include "WallpaperFolder.h"

#include "ApiError.h"
#include "ImageTypes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>

namespace lumivra::server {

namespace {

ApiError unreadableFolder() {
    return ApiError(500, QStringLiteral("壁纸目录无法读取。"));
}

// Out of descriptors is the service's own passing trouble, never a sign that the file is missing or bad.
void throwIfOutOfDescriptors() {
    if (errno == EMFILE || errno == ENFILE)
        throw ApiError(503, QStringLiteral("服务器繁忙，请稍后再试。"));
}

ApiError notFound(const QString &fileName) {
    return ApiError(404, QStringLiteral("找不到壁纸文件：%1。").arg(fileName));
}

// O_NONBLOCK so that a FIFO or a device under a picture's name cannot hold the opening thread; O_NOFOLLOW
// so that a link is refused rather than followed out of the folder.
UniqueFd openRegularFile(int directory, const QString &name, struct stat *status) {
    UniqueFd fd(::openat(directory, QFile::encodeName(name).constData(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        throwIfOutOfDescriptors();
    if (!fd.valid() || ::fstat(fd.get(), status) != 0 || !S_ISREG(status->st_mode))
        return {};
    return fd;
}

struct ClosesDirectory {
    void operator()(DIR *directory) const { ::closedir(directory); }
};

} // namespace

WallpaperFolder::WallpaperFolder(const QString &root)
    : m_root(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

bool WallpaperFolder::isServableName(const QString &fileName) {
    return !fileName.isEmpty() && !fileName.startsWith(u'.') && !fileName.contains(u'/') &&
           !fileName.contains(u'\\') && !fileName.contains(QChar(0)) && !imageContentType(fileName).isEmpty();
}

QStringList WallpaperFolder::pictureNames() const {
    if (!m_root.valid())
        throw unreadableFolder();
    // The listing gets a descriptor of its own: closedir() closes it, and readdir() keeps a position in it.
    UniqueFd listing(::openat(m_root.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing.valid())
        throwIfOutOfDescriptors();
    const std::unique_ptr<DIR, ClosesDirectory> directory(listing.valid() ? ::fdopendir(listing.get())
                                                                          : nullptr);
    if (!directory)
        throw unreadableFolder();
    listing.release();
    QStringList names;
    while (const dirent *entry = ::readdir(directory.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        struct stat status = {};
        if (isServableName(name) &&
            ::fstatat(m_root.get(), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode))
            names.append(name);
    }
    // Code-point order rather than locale collation: every machine must rotate in the same order.
    std::sort(names.begin(), names.end());
    return names;
}

OpenedPicture WallpaperFolder::open(const QString &fileName) const {
    if (fileName.isEmpty() || fileName == u"." || fileName == u".." || fileName.contains(u'/') ||
        fileName.contains(u'\\') || fileName.contains(QChar(0)))
        throw ApiError(400, QStringLiteral("壁纸文件名无效：只能是壁纸目录中的一个文件名。"));
    if (!isServableName(fileName))
        throw notFound(fileName);
    if (!m_root.valid())
        throw unreadableFolder();
    OpenedPicture picture;
    picture.fd = openRegularFile(m_root.get(), fileName, &picture.status);
    if (!picture.fd.valid())
        throw notFound(fileName);
    picture.wallpaper = Wallpaper{idFor(fileName), fileName, imageContentType(fileName)};
    return picture;
}

QString WallpaperFolder::scheduledName(const QDate &date) const {
    if (!m_root.valid())
        throw unreadableFolder();
    const QString fileName = QLatin1String(scheduleFileName);
    const ApiError unreadable(
        500, QStringLiteral("排期文件 %1 无法读取：它应是壁纸目录中不超过 1 MiB 的普通文件。").arg(fileName));
    UniqueFd fd(::openat(m_root.get(), scheduleFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT)
        return {};
    if (!fd.valid())
        throwIfOutOfDescriptors();
    struct stat status = {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > scheduleSizeLimit)
        throw unreadable;
    QByteArray content(qsizetype(status.st_size), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < content.size()) {
        const ssize_t read = ::read(fd.get(), content.data() + filled, size_t(content.size() - filled));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            break; // shrank while being read: parse what is there, the next read sees the new version
        filled += read;
    }
    content.truncate(filled);
    const QJsonDocument document = QJsonDocument::fromJson(content);
    if (!document.isObject())
        throw ApiError(
            500,
            QStringLiteral("排期文件 %1 格式错误：应为以日期（YYYY-MM-DD）为键、文件名为值的 JSON 对象。")
                .arg(fileName));
    const QJsonValue entry = document.object().value(date.toString(Qt::ISODate));
    if (entry.isUndefined())
        return {};
    if (!entry.isString() || entry.toString().isEmpty())
        throw ApiError(
            500,
            QStringLiteral("排期文件 %1 中 %2 的值应为文件名。").arg(fileName, date.toString(Qt::ISODate)));
    return entry.toString();
}

QString WallpaperFolder::nameFor(const QDate &date, const QStringList &names) const {
    QString scheduled = scheduledName(date);
    if (!scheduled.isEmpty()) {
        if (!names.contains(scheduled))
            // The client asked for nothing wrong: a bad name here is the schedule's fault.
            throw ApiError(isServableName(scheduled) ? 404 : 500,
                           QStringLiteral("排期文件 %1 为 %2 指定的壁纸 %3 不存在或无法提供。")
                               .arg(QLatin1String(scheduleFileName), date.toString(Qt::ISODate), scheduled));
        return scheduled;
    }
    if (names.isEmpty())
        throw ApiError(404, QStringLiteral("壁纸目录中还没有可用的壁纸。"));
    const qint64 count = names.size();
    const qint64 day = QDate(1970, 1, 1).daysTo(date);
    return names.at(qsizetype(((day % count) + count) % count));
}

DailyWallpaper WallpaperFolder::wallpaperFor(const QDate &date, DigestCache &digests) const {
    const QString name = nameFor(date, pictureNames());
    const OpenedPicture picture = open(name);
    const auto sha256 = digests.digest(name, picture.fd.get(), picture.status);
    if (!sha256)
        throw ApiError(500, QStringLiteral("读取壁纸文件失败：%1。").arg(name));
    return DailyWallpaper{picture.wallpaper, date, qint64(picture.status.st_size), *sha256};
}

qint64 WallpaperFolder::idFor(const QString &fileName) {
    const QByteArray digest = QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Sha256);
    qint64 id = 0;
    for (int i = 0; i < 6; ++i)
        id = (id << 8) | quint8(digest.at(i));
    return id;
}

} // namespace lumivra::server
