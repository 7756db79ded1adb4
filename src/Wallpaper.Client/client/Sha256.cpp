#include "client/Sha256.h"

#include <QFile>
#include <openssl/evp.h>

namespace lumivra {

struct Sha256::Context {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    if (!m_context->ctx || EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::update(QByteArrayView bytes) {
    if (!bytes.isEmpty())
        EVP_DigestUpdate(m_context->ctx, bytes.data(), static_cast<size_t>(bytes.size()));
}

QString Sha256::finalHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->ctx, digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), length).toHex());
}

QString sha256Hex(QByteArrayView bytes) {
    Sha256 hasher;
    hasher.update(bytes);
    return hasher.finalHex();
}

std::optional<QString> sha256HexOfFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Sha256 hasher;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        hasher.update(QByteArrayView(chunk.constData(), n));
    }
    return hasher.finalHex();
}

} // namespace lumivra
