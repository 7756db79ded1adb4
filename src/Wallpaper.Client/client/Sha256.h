#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>

namespace lumivra {

// Incremental SHA-256 (OpenSSL's libcrypto: several times faster than QCryptographicHash here).
class Sha256 {
public:
    // Throws Error when OpenSSL cannot start a digest.
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    // Never throws, so it may be fed from a signal handler: a failure shows in finalHex.
    void update(QByteArrayView bytes);
    // 64 lower-case hexadecimal digits. The hasher cannot be fed afterwards. Throws Error when OpenSSL failed
    // at any step.
    QString finalHex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

// The 64-character lower-case hexadecimal SHA-256 of a byte buffer. Throws as finalHex does.
QString sha256Hex(QByteArrayView bytes);

// The same digest of a file's content, read in chunks so memory stays flat for any size.
// Empty when the file cannot be opened or read; throws as finalHex does.
std::optional<QString> sha256HexOfFile(const QString &path);

} // namespace lumivra
