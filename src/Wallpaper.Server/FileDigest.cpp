#include "FileDigest.h"

#include <QStringList>
#include <array>
#include <cerrno>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>

namespace lumivra::server {

namespace {
qint64 nanoseconds(const struct timespec &time) {
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}
} // namespace

FileIdentity FileIdentity::of(const struct stat &status) {
    return {status.st_dev, status.st_ino, status.st_size, nanoseconds(modificationTime(status)),
            nanoseconds(changeTime(status))};
}

bool readInPieces(int fd, const std::function<bool(QByteArrayView)> &consume) {
    std::array<char, 1 << 16> buffer{};
    off_t offset = 0;
    for (;;) {
        const ssize_t read = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return read == 0;
        if (!consume(QByteArrayView(buffer.data(), read)))
            return false;
        offset += read;
    }
}

std::optional<QString> sha256OfFile(int fd, const std::function<bool(QByteArrayView)> &alsoConsume) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    const bool whole = readInPieces(fd, [&](QByteArrayView piece) {
        return EVP_DigestUpdate(context.get(), piece.data(), size_t(piece.size())) == 1 &&
               (!alsoConsume || alsoConsume(piece));
    });
    if (!whole)
        return std::nullopt;
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &digestLength) != 1)
        return std::nullopt;
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest.data()), int(digestLength)).toHex());
}

std::optional<QString> DigestCache::digest(const QString &name, int fd, const struct stat &status) {
    const FileIdentity identity = FileIdentity::of(status);
    const auto known = m_entries.constFind(name);
    if (known != m_entries.cend() && known->identity == identity)
        return known->sha256;
    auto sha256 = sha256OfFile(fd);
    if (!sha256) {
        m_entries.remove(name);
        return std::nullopt;
    }
    m_entries.insert(name, Entry{identity, *sha256});
    return sha256;
}

void DigestCache::keepOnly(const QStringList &names) {
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (names.contains(entry.key()))
            ++entry;
        else
            entry = m_entries.erase(entry);
    }
}

} // namespace lumivra::server
