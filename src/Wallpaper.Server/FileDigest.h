#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <sys/stat.h>

namespace lumivra::server {

// What tells one version of a file from another without reading it. The change time is part of it because
// tools that replace a file (cp -p, tar, rsync) restore the modification time and often the size too; no
// tool can set the change time, and a replacement under the same name also gets a new inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    static FileIdentity of(const struct stat &status);
    bool operator==(const FileIdentity &) const = default;
};

// The modification and change times of a stat record, whose fields each OS names its own way.
const struct timespec &modificationTime(const struct stat &status);
const struct timespec &changeTime(const struct stat &status);

// Hands an open file's bytes from its start to `consume` piece by piece, whatever the file's size; false
// when the file cannot be read to its end or `consume` refuses a piece.
bool readInPieces(int fd, const std::function<bool(QByteArrayView)> &consume);

// Lower-case hexadecimal SHA-256 of an open file from its start, read in pieces so a picture of any size
// hashes in little memory. Each piece also goes to `alsoConsume` when given, so a copy made on the way
// holds exactly the bytes the digest describes. Empty when the file cannot be read to its end or
// `alsoConsume` refuses a piece.
std::optional<QString> sha256OfFile(int fd, const std::function<bool(QByteArrayView)> &alsoConsume = {});

// Remembers each file's digest while its identity stays the same, so a large picture is read once, not
// every hour for every client.
class DigestCache {
public:
    // `fd` is the file opened under `name`, and `status` what fstat said of it.
    std::optional<QString> digest(const QString &name, int fd, const struct stat &status);
    // Forgets every file not named in `names`, so removed pictures do not pile up.
    void keepOnly(const QStringList &names);

private:
    struct Entry {
        FileIdentity identity;
        QString sha256;
    };
    QHash<QString, Entry> m_entries;
};

} // namespace lumivra::server
