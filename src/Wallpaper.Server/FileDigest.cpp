#include "FileDigest.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <memory>
#include <openssl/evp.h>

namespace lumivra::server {

std::optional<QString> sha256OfFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const qint64 read = file.read(buffer.data(), qint64(buffer.size()));
        if (read < 0)
            return std::nullopt;
        if (read == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.data(), size_t(read));
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &digestLength) != 1)
        return std::nullopt;
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest.data()), int(digestLength)).toHex());
}

std::optional<QString> DigestCache::digest(const QString &path) {
    const QFileInfo info(path);
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    const auto known = m_entries.constFind(path);
    if (known != m_entries.cend() && known->size == size && known->modified == modified)
        return known->sha256;
    auto sha256 = sha256OfFile(path);
    if (!sha256) {
        m_entries.remove(path);
        return std::nullopt;
    }
    m_entries.insert(path, Entry{size, modified, *sha256});
    return sha256;
}

} // namespace lumivra::server
