#include "CacheAudit.h"

#include "client/Sha256.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace lumivra::test {

QStringList CacheAudit::problems() {
    QStringList found;
    QHash<QString, Seen> seen;
    // Hidden and system entries too: a temporary download left behind is hidden.
    const QStringList names =
        QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        struct stat status {};
        if (::lstat(QFile::encodeName(m_folder + u'/' + name).constData(), &status) != 0) {
            found.append(name + QStringLiteral(": vanished while the folder was read"));
            continue;
        }
        const auto previous = m_seen.constFind(name);
        const bool unchanged = previous != m_seen.constEnd() && previous->inode == status.st_ino &&
                               previous->size == status.st_size &&
                               previous->modified.tv_sec == status.st_mtim.tv_sec &&
                               previous->modified.tv_nsec == status.st_mtim.tv_nsec;
        const QString problem = unchanged ? previous->problem : inspect(name, status);
        seen.insert(name, {status.st_ino, status.st_size, status.st_mtim, problem});
        if (!problem.isEmpty())
            found.append(name + QStringLiteral(": ") + problem);
    }
    m_seen = seen;
    return found;
}

QString CacheAudit::inspect(const QString &name, const struct stat &status) const {
    static const QRegularExpression pattern(QStringLiteral("^-?[0-9]+-([^./]{12})\\.[a-z0-9]+$"));
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("not a regular file");
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return QStringLiteral("not a cached wallpaper's name (a temporary or partial file?)");
    const std::optional<QString> digest = sha256HexOfFile(m_folder + u'/' + name);
    if (!digest)
        return QStringLiteral("unreadable");
    if (!digest->startsWith(match.captured(1), Qt::CaseInsensitive))
        return QStringLiteral("content's digest is %1").arg(*digest);
    return {};
}

} // namespace lumivra::test
