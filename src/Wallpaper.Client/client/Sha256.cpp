#include "client/Sha256.h"

#include "client/Errors.h"

#include <QFile>
#include <openssl/evp.h>

namespace lumivra {

namespace {

// A digest of part of the bytes, or of none, would pass for the real one: a failure yields none at all.
[[noreturn]] void fail() {
    throw Error(QStringLiteral("无法计算 SHA-256 摘要：OpenSSL 出错。"));
}

} // namespace

struct Sha256::Context {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    bool failed = false;
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    if (!m_context->ctx || EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr) != 1)
        fail();
}

Sha256::~Sha256() = default;

void Sha256::update(QByteArrayView bytes) {
    if (!bytes.isEmpty() && !m_context->failed &&
        EVP_DigestUpdate(m_context->ctx, bytes.data(), static_cast<size_t>(bytes.size())) != 1)
        m_context->failed = true;
}

QString Sha256::finalHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (m_context->failed || EVP_DigestFinal_ex(m_context->ctx, digest, &length) != 1 || length != 32)
        fail();
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
