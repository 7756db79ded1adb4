#include "FileStreamer.h"

#include <QTcpSocket>

namespace lumivra::server {

namespace {
constexpr qint64 pieceSize = 64 * 1024;
// Refill only below this much unsent data: enough to keep the connection busy, little enough to stay small.
constexpr qint64 highWater = 256 * 1024;
} // namespace

void FileStreamer::start(QTcpSocket *socket, std::unique_ptr<QFile> file, qint64 length) {
    auto *streamer = new FileStreamer(socket, std::move(file), length);
    streamer->pump();
}

FileStreamer::FileStreamer(QTcpSocket *socket, std::unique_ptr<QFile> file, qint64 length)
    : QObject(socket), m_socket(socket), m_file(std::move(file)), m_remaining(length) {
    connect(socket, &QTcpSocket::bytesWritten, this, &FileStreamer::pump);
}

void FileStreamer::pump() {
    QByteArray piece;
    while (m_remaining > 0 && m_socket->bytesToWrite() < highWater) {
        piece.resize(qsizetype(std::min(pieceSize, m_remaining)));
        const qint64 read = m_file->read(piece.data(), piece.size());
        if (read <= 0) {
            m_socket->abort();
            deleteLater();
            return;
        }
        m_socket->write(piece.constData(), read);
        m_remaining -= read;
    }
    if (m_remaining == 0) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->disconnectFromHost(); // after the bytes still buffered have been sent
        deleteLater();
    }
}

} // namespace lumivra::server
