#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace lumivra {

// Every failure travels as an exception derived from Error. Its description is what the user is shown,
// so it is always a finished sentence in the user's language.
class Error : public std::exception {
public:
    explicit Error(QString description);
    const QString &localizedDescription() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// A transfer that failed below HTTP: no connection, time-out, refused redirect, cut connection ...
class TransportError : public Error {
public:
    using Error::Error;
};

// A JSON body that does not hold the record it should.
class DecodingError : public Error {
public:
    using Error::Error;
};

// A file-system operation that failed.
class FileError : public Error {
public:
    using Error::Error;
};

class WallpaperClientError : public Error {
public:
    enum class Kind { server, invalidServerURL, emptyResponse, invalidDownloadHash };

    static WallpaperClientError server(const QString &message) { return {Kind::server, message}; }
    static WallpaperClientError invalidServerURL() { return {Kind::invalidServerURL, {}}; }
    static WallpaperClientError emptyResponse() { return {Kind::emptyResponse, {}}; }
    static WallpaperClientError invalidDownloadHash() { return {Kind::invalidDownloadHash, {}}; }

    Kind kind() const noexcept { return m_kind; }

private:
    WallpaperClientError(Kind kind, const QString &message);
    Kind m_kind;
};

} // namespace lumivra
