#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <sys/stat.h>

namespace lumivra::test {

// Looks at the wallpaper cache folder the way the next refresh will: every entry must be a visible regular
// file named "<id>-<12 digest characters>.<extension>" whose content's SHA-256 begins with those
// characters. A file is hashed again only when it was replaced or changed since the last look.
class CacheAudit {
public:
    explicit CacheAudit(QString folder) : m_folder(std::move(folder)) {}

    // One line per entry that breaks the rule; empty when the folder is sound.
    QStringList problems();
    // The names seen by the last call of problems().
    QSet<QString> names() const { return QSet<QString>(m_seen.keyBegin(), m_seen.keyEnd()); }

private:
    struct Seen {
        ino_t inode;
        off_t size;
        timespec modified;
        QString problem;
    };
    QString inspect(const QString &name, const struct stat &status) const;

    QString m_folder;
    QHash<QString, Seen> m_seen;
};

} // namespace lumivra::test
