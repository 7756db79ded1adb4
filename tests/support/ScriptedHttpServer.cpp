#include "ScriptedHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace lumivra::test {

namespace {

// As the gzip program writes it, so the client meets a stream its makers did not write.
QByteArray gzipCompress(const QByteArray &data) {
    QProcess gzip;
    gzip.start("gzip", {"-1", "-c"});
    gzip.write(data);
    gzip.closeWriteChannel();
    gzip.waitForFinished();
    return gzip.readAllStandardOutput();
}

// Kept small, so what was sent is close to what the client has read.
constexpr qint64 writeAhead = 256 * 1024;

} // namespace

ScriptedHttpServer::ScriptedHttpServer() {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, buffer] { readFrom(socket, *buffer); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

QString ScriptedHttpServer::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
}

void ScriptedHttpServer::on(const QString &path, ScriptedResponse response) {
    on(path, Handler([response](const RecordedRequest &) { return response; }));
}

int ScriptedHttpServer::count(const QString &path) const {
    return static_cast<int>(std::ranges::count(m_requests, path, &RecordedRequest::path));
}

void ScriptedHttpServer::readFrom(QTcpSocket *socket, QByteArray &buffer) {
    buffer += socket->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        RecordedRequest request{QUrl(QString::fromLatin1(requestLine.value(1))).path(), {}};
        for (const QByteArray &line : lines.mid(1)) {
            if (const qsizetype colon = line.indexOf(':'); colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        m_requests.append(request);

        const auto handler = m_handlers.constFind(request.path);
        const ScriptedResponse response =
            handler != m_handlers.constEnd() ? (*handler)(request) : ScriptedResponse::bytes({}, 404);
        QTimer::singleShot(response.delay, this, [this, guard = QPointer(socket), response] {
            if (guard)
                send(guard, response);
        });
    }
}

void ScriptedHttpServer::send(QTcpSocket *socket, const ScriptedResponse &response) {
    // The body is the scripted bytes, then the padding, up to where the script stops it.
    const QByteArray body = response.gzip ? gzipCompress(response.body) : response.body;
    const qint64 total = body.size() + response.padding;
    const qint64 limit =
        std::min({total, response.cutAfter.value_or(total), response.stallAfter.value_or(total)});

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.gzip)
        head += "Content-Encoding: gzip\r\n";
    head += response.chunked ? "Transfer-Encoding: chunked\r\n"
                             : "Content-Length: " + QByteArray::number(total) + "\r\n";
    socket->write(head + "\r\n");

    const bool dripping = response.drip.count() > 0;
    auto at = std::make_shared<qint64>(0); // past `limit` once the end is handled
    auto pump = [=, this] {
        while (*at < limit && socket->bytesToWrite() < writeAhead) {
            // Several chunks, so clients see the framing and not one lump.
            const qint64 n = std::min<qint64>(dripping ? 1 : 64 * 1024, limit - *at);
            QByteArray part = body.mid(*at, n);
            part.append(n - part.size(), 'x');
            *at += n;
            m_bodyBytesSent += n;
            socket->write(response.chunked ? QByteArray::number(n, 16) + "\r\n" + part + "\r\n" : part);
            if (dripping)
                return;
        }
        if (*at != limit)
            return;
        ++*at;
        if (limit == total && response.chunked)
            socket->write("0\r\n\r\n");
        if (response.cutAfter && !response.stallAfter) {
            socket->flush();
            socket->disconnectFromHost();
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

} // namespace lumivra::test
