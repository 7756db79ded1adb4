#include "ScriptedHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <zlib.h>

namespace lumivra::test {

ScriptedResponse ScriptedResponse::bytes(const QByteArray &body, int status) {
    ScriptedResponse r;
    r.status = status;
    r.body = body;
    return r;
}

ScriptedResponse ScriptedResponse::json(const QByteArray &body, int status) {
    ScriptedResponse r;
    r.status = status;
    r.body = body;
    r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json; charset=utf-8")));
    return r;
}

ScriptedResponse ScriptedResponse::redirect(const QByteArray &location, int status) {
    ScriptedResponse r;
    r.status = status;
    r.headers.append(qMakePair(QByteArray("Location"), location));
    return r;
}

QByteArray gzipCompress(const QByteArray &data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

ScriptedHttpServer::ScriptedHttpServer() {
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

ScriptedHttpServer::~ScriptedHttpServer() {
    for (QTcpSocket *socket : m_buffers.keys())
        socket->abort();
}

QString ScriptedHttpServer::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void ScriptedHttpServer::on(const QString &path, ScriptedResponse response) {
    m_handlers.insert(path, [response](const RecordedRequest &) { return response; });
}

void ScriptedHttpServer::on(const QString &path, Handler handler) {
    m_handlers.insert(path, std::move(handler));
}

int ScriptedHttpServer::count(const QString &path) const {
    return static_cast<int>(
        std::count_if(m_requests.begin(), m_requests.end(), [&](const auto &r) { return r.path == path; }));
}

void ScriptedHttpServer::accept() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_buffers.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // Disconnection can be signalled from inside readFrom (a scripted cut); forget the socket later.
        connect(
            socket, &QTcpSocket::disconnected, this,
            [this, socket] {
                m_buffers.remove(socket);
                socket->deleteLater();
            },
            Qt::QueuedConnection);
    }
}

void ScriptedHttpServer::readFrom(QTcpSocket *socket) {
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        RecordedRequest request;
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        request.path = QUrl(QString::fromLatin1(request.target)).path();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        m_requests.append(request);
        answer(socket, request);
    }
}

void ScriptedHttpServer::answer(QTcpSocket *socket, const RecordedRequest &request) {
    const auto handler = m_handlers.constFind(request.path);
    ScriptedResponse response;
    if (handler != m_handlers.constEnd())
        response = (*handler)(request);
    else
        response.status = 404;
    const bool headOnly = request.method == "HEAD";
    if (response.delay.count() > 0) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(response.delay, this, [this, guard, response, headOnly] {
            if (guard)
                send(guard, response, headOnly);
        });
    } else {
        send(socket, response, headOnly);
    }
}

void ScriptedHttpServer::send(QTcpSocket *socket, const ScriptedResponse &response, bool headOnly) {
    const QByteArray body = response.gzip ? gzipCompress(response.body) : response.body;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.gzip)
        head += "Content-Encoding: gzip\r\n";
    if (response.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (response.closeDelimited)
        head += "Connection: close\r\n";
    else
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (headOnly)
        return;

    qint64 limit = body.size();
    if (response.cutAfter)
        limit = std::min(limit, *response.cutAfter);
    if (response.stallAfter)
        limit = std::min(limit, *response.stallAfter);
    const QByteArray sent = body.left(limit);
    if (response.chunked) {
        // Several chunks, so clients see the framing and not one lump.
        constexpr qsizetype chunk = 4096;
        for (qsizetype at = 0; at < sent.size(); at += chunk) {
            const QByteArray part = sent.mid(at, chunk);
            socket->write(QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n");
        }
        if (limit == body.size())
            socket->write("0\r\n\r\n");
    } else {
        socket->write(sent);
    }

    if (response.cutAfter && !response.stallAfter) {
        socket->flush();
        socket->disconnectFromHost();
    } else if (response.closeDelimited && !response.stallAfter) {
        socket->disconnectFromHost();
    }
}

} // namespace lumivra::test
