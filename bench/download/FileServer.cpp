#include "FileServer.h"

#include <QFile>
#include <QHostAddress>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

namespace {

constexpr qint64 pieceBytes = 4 << 20;

void serve(QTcpSocket *socket, const QString &folder) {
    auto buffer = std::make_shared<QByteArray>();
    auto file = std::make_shared<std::unique_ptr<QFile>>();
    auto pump = [socket, file] {
        if (!*file)
            return;
        while (socket->bytesToWrite() < pieceBytes) {
            const QByteArray piece = (*file)->read(pieceBytes);
            if (piece.isEmpty()) {
                file->reset();
                return;
            }
            socket->write(piece);
        }
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, folder, buffer, file, pump] {
        *buffer += socket->readAll();
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray path = buffer->left(end).split(' ').value(1);
        buffer->remove(0, end + 4);
        *file = std::make_unique<QFile>(folder + QLatin1Char('/') + QString::fromUtf8(path).section('/', -1));
        if (!(*file)->open(QIODevice::ReadOnly)) {
            file->reset();
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                      QByteArray::number((*file)->size()) + "\r\n\r\n");
        pump();
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace

FileServer::FileServer(QString folder) {
    QSemaphore ready;
    auto *server = new QTcpServer;
    server->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::started, server, [this, server, folder, &ready] {
        QObject::connect(server, &QTcpServer::newConnection, server, [server, folder] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                serve(socket, folder);
        });
        server->listen(QHostAddress::LocalHost, 0);
        m_port = server->serverPort();
        ready.release();
    });
    // finished is emitted on the server's own thread, the last moment it may be deleted there.
    QObject::connect(
        &m_thread, &QThread::finished, server, [server] { delete server; }, Qt::DirectConnection);
    m_thread.start();
    ready.acquire();
}

FileServer::~FileServer() {
    m_thread.quit();
    m_thread.wait();
}
