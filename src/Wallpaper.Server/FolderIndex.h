#pragma once

#include "ApiError.h"
#include "WallpaperFolder.h"

#include <QDate>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

namespace lumivra::server {

// Keeps the answer for today (and tomorrow, for midnight) ready on a thread of its own, so a request costs
// the same whatever the folder holds: listing the folder and hashing a new picture happen here, never while
// a client waits. A request checks only that the announced picture is still the same file (one stat); if
// it was replaced, the client is asked to come back shortly rather than given a digest that no longer holds.
class FolderIndex {
public:
    // Scans once before returning, so the first request is answered from a complete picture.
    FolderIndex(const QString &root, std::optional<QDate> pinnedDate,
                std::chrono::milliseconds rescanInterval);
    ~FolderIndex();
    FolderIndex(const FolderIndex &) = delete;
    FolderIndex &operator=(const FolderIndex &) = delete;

    // Today's answer, or the ApiError to send instead.
    DailyWallpaper today();

    const WallpaperFolder &folder() const { return m_folder; }

private:
    struct Day {
        QDate date;
        std::variant<DailyWallpaper, ApiError> answer;
        FileIdentity identity;
    };
    using Snapshot = std::vector<Day>;

    QDate currentDate() const;
    std::shared_ptr<const Snapshot> scan();
    void run();
    void rescanSoon();

    WallpaperFolder m_folder;
    std::optional<QDate> m_pinnedDate;
    std::chrono::milliseconds m_interval;
    DigestCache m_digests; // only the scanning thread touches it

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_rescanRequested = false;
    bool m_stopping = false;
    std::shared_ptr<const Snapshot> m_snapshot;
    std::thread m_thread;
};

} // namespace lumivra::server
