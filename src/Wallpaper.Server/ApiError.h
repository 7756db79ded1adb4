#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

namespace lumivra::server {

// A request that cannot be answered with what was asked for: the HTTP status to send and the sentence
// shown to the person behind the client (it reaches the user verbatim, so it is Chinese and complete).
class ApiError : public std::runtime_error {
public:
    ApiError(int status, const QString &message)
        : std::runtime_error(message.toStdString()), m_status(status), m_message(message) {}

    int status() const { return m_status; }
    const QString &message() const { return m_message; }

    // {"error": message}, the body every failure carries.
    QByteArray body() const;

private:
    int m_status;
    QString m_message;
};

} // namespace lumivra::server
