#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <chrono>
#include <functional>
#include <optional>

class QTcpSocket;

namespace lumivra::test {

// One scripted answer. The defaults give a plain 200 with a Content-Length.
struct ScriptedResponse {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers{};
    QByteArray body{};
    bool chunked = false;               // Transfer-Encoding: chunked
    bool gzip = false;                  // body gzip-compressed on the wire, Content-Encoding: gzip
    std::chrono::milliseconds delay{0}; // wait this long before the status line
    std::optional<qint64> cutAfter{};   // drop the connection after this many body bytes
    std::optional<qint64> stallAfter{}; // send this many body bytes, then nothing more
    qint64 padding = 0;                 // this many more body bytes after `body`, made as they are sent
    std::chrono::milliseconds drip{0};  // send the body one byte at a time, this far apart

    static ScriptedResponse bytes(const QByteArray &body, int status = 200) { return {status, {}, body}; }
    static ScriptedResponse json(const QByteArray &body, int status = 200) {
        return {status, {{"Content-Type", "application/json; charset=utf-8"}}, body};
    }
    static ScriptedResponse redirect(const QByteArray &location, int status = 302) {
        return {status, {{"Location", location}}, {}};
    }
};

struct RecordedRequest {
    QString path;                         // decoded, no query
    QMap<QByteArray, QByteArray> headers; // names lower-cased
};

// A small HTTP/1.1 server on 127.0.0.1 whose every answer a test scripts: status, headers, body framing,
// compression, delays, stalls and cut connections. Unscripted paths get a 404 with an empty body.
class ScriptedHttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest &)>;

    ScriptedHttpServer();

    // "http://127.0.0.1:<port>" followed by the given path.
    QString url(const QString &path = {}) const;
    void on(const QString &path, ScriptedResponse response);
    void on(const QString &path, Handler handler) { m_handlers.insert(path, std::move(handler)); }

    QList<RecordedRequest> requests() const { return m_requests; }
    int count(const QString &path) const;
    // Body bytes written so far. Writing waits for the client to read, so a client that stops reading
    // soon stops this count.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }

private:
    void readFrom(QTcpSocket *socket, QByteArray &buffer);
    void send(QTcpSocket *socket, const ScriptedResponse &response);

    QTcpServer m_server;
    QMap<QString, Handler> m_handlers;
    QList<RecordedRequest> m_requests;
    qint64 m_bodyBytesSent = 0;
};

} // namespace lumivra::test
