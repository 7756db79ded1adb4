#include "ScriptedHttpServer.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
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
    const QString file = m_folder + u'/' + request.path.section(u'/', -1);
    if (handler != m_handlers.constEnd())
        response = (*handler)(request);
    else if (!m_folder.isEmpty() && QFileInfo(file).isFile())
        response.bodyFile = file;
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

namespace {

// The body piece by piece: the scripted bytes or file, then the padding, up to where the script stops.
class BodySource {
public:
    BodySource(QByteArray body, const QString &file, qint64 padding) : m_body(std::move(body)), m_file(file) {
        if (!file.isEmpty() && m_file.open(QIODevice::ReadOnly))
            m_bodySize = m_file.size();
        m_total = m_limit = m_bodySize + padding;
    }
    qint64 total() const { return m_total; }
    void stopAt(qint64 limit) { m_limit = std::min(m_limit, limit); }
    bool stopped() const { return m_limit < m_total; }
    bool atEnd() const { return m_at >= m_limit; }
    QByteArray next(qint64 most) {
        const qint64 size = std::min(most, m_limit - m_at);
        QByteArray piece = m_file.isOpen() ? m_file.read(std::clamp<qint64>(m_bodySize - m_at, 0, size))
                                           : m_body.mid(m_at, size);
        piece.append(size - piece.size(), 'x');
        m_at += size;
        return piece;
    }
    bool finished = false;

private:
    QByteArray m_body;
    QFile m_file;
    qint64 m_bodySize = m_body.size();
    qint64 m_total = 0;
    qint64 m_limit = 0;
    qint64 m_at = 0;
};

// Kept small, so what was sent is close to what the client has read.
constexpr qint64 writeAhead = 256 * 1024;

} // namespace

void ScriptedHttpServer::send(QTcpSocket *socket, const ScriptedResponse &response, bool headOnly) {
    auto source = std::make_shared<BodySource>(response.gzip ? gzipCompress(response.body) : response.body,
                                               response.bodyFile, response.padding);
    const qint64 total = source->total();
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
        head += "Content-Length: " + QByteArray::number(total) + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (headOnly)
        return;

    if (response.cutAfter)
        source->stopAt(*response.cutAfter);
    if (response.stallAfter)
        source->stopAt(*response.stallAfter);
    const bool dripping = response.drip.count() > 0;
    // Several chunks, so clients see the framing and not one lump.
    const qint64 piece = dripping ? 1 : 64 * 1024;
    auto pump = [this, socket, source, response, piece, dripping, complete = !source->stopped()] {
        while (!source->atEnd() && socket->bytesToWrite() < writeAhead) {
            const QByteArray part = source->next(piece);
            m_bodyBytesSent += part.size();
            socket->write(response.chunked ? QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n"
                                           : part);
            if (dripping)
                return;
        }
        if (source->atEnd() && !source->finished) {
            source->finished = true;
            finish(socket, response, complete);
        }
    };
    if (dripping) {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, pump);
        timer->start(response.drip);
    } else {
        connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    }
    pump();
}

void ScriptedHttpServer::finish(QTcpSocket *socket, const ScriptedResponse &response, bool complete) {
    if (response.chunked && complete)
        socket->write("0\r\n\r\n");
    if (response.cutAfter && !response.stallAfter) {
        socket->flush();
        socket->disconnectFromHost();
    } else if (response.closeDelimited && !response.stallAfter) {
        socket->disconnectFromHost();
    }
}

} // namespace lumivra::test
