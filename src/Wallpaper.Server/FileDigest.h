#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <optional>

namespace lumivra::server {

// Lower-case hexadecimal SHA-256 of a file, read in pieces so a picture of any size hashes in little memory.
// Empty when the file cannot be read to its end.
std::optional<QString> sha256OfFile(const QString &path);

// Remembers each file's digest until the file changes (its size or modification time differ), so the
// metadata request does not re-read a large picture every hour for every client.
class DigestCache {
public:
    std::optional<QString> digest(const QString &path);

private:
    struct Entry {
        qint64 size = -1;
        QDateTime modified;
        QString sha256;
    };
    QHash<QString, Entry> m_entries;
};

} // namespace lumivra::server
