#include "FolderIndex.h"

#include <QFile>
#include <fcntl.h>

namespace lumivra::server {

namespace {

ApiError comeBackSoon() {
    return ApiError(503, QStringLiteral("壁纸正在更新，请稍后再试。"));
}

} // namespace

FolderIndex::FolderIndex(const QString &root, std::optional<QDate> pinnedDate,
                         std::chrono::milliseconds rescanInterval)
    : m_folder(root), m_pinnedDate(pinnedDate), m_interval(rescanInterval), m_snapshot(scan()),
      m_thread([this] { run(); }) {}

FolderIndex::~FolderIndex() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

QDate FolderIndex::currentDate() const {
    return m_pinnedDate.value_or(QDate::currentDate());
}

std::shared_ptr<const FolderIndex::Snapshot> FolderIndex::scan() {
    auto snapshot = std::make_shared<Snapshot>();
    const QDate today = currentDate();
    QStringList names;
    try {
        names = m_folder.pictureNames();
    } catch (const ApiError &error) {
        snapshot->push_back(Day{today, error, {}});
        return snapshot;
    }
    QStringList hashed;
    for (const QDate &date : {today, today.addDays(1)}) {
        try {
            const OpenedPicture picture = m_folder.open(m_folder.nameFor(date, names));
            const QString &name = picture.wallpaper.fileName;
            const auto sha256 = m_digests.digest(name, picture.fd.get(), picture.status);
            if (!sha256)
                throw ApiError(500, QStringLiteral("读取壁纸文件失败：%1。").arg(name));
            hashed.append(name);
            snapshot->push_back(
                Day{date, DailyWallpaper{picture.wallpaper, date, qint64(picture.status.st_size), *sha256},
                    FileIdentity::of(picture.status)});
        } catch (const ApiError &error) {
            snapshot->push_back(Day{date, error, {}});
        }
    }
    m_digests.keepOnly(hashed);
    return snapshot;
}

void FolderIndex::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, m_interval, [this] { return m_stopping || m_rescanRequested; });
        if (m_stopping)
            break;
        m_rescanRequested = false;
        lock.unlock();
        auto snapshot = scan();
        lock.lock();
        m_snapshot = std::move(snapshot);
    }
}

void FolderIndex::rescanSoon() {
    {
        const std::lock_guard lock(m_mutex);
        m_rescanRequested = true;
    }
    m_wake.notify_all();
}

DailyWallpaper FolderIndex::today() {
    std::shared_ptr<const Snapshot> snapshot;
    {
        const std::lock_guard lock(m_mutex);
        snapshot = m_snapshot;
    }
    const QDate date = currentDate();
    for (const Day &day : *snapshot) {
        if (day.date != date)
            continue;
        if (const auto *error = std::get_if<ApiError>(&day.answer))
            throw *error;
        const auto &answer = std::get<DailyWallpaper>(day.answer);
        struct stat status = {};
        const int found =
            ::fstatat(m_folder.rootFd(), QFile::encodeName(answer.wallpaper.fileName).constData(), &status,
                      AT_SYMLINK_NOFOLLOW);
        if (found == 0 && FileIdentity::of(status) == day.identity)
            return answer;
        break;
    }
    rescanSoon();
    throw comeBackSoon();
}

} // namespace lumivra::server
