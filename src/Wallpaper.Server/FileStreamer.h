#pragma once

#include <QFile>
#include <QObject>
#include <memory>

class QTcpSocket;

namespace lumivra::server {

// Sends `length` bytes of an open file as a response body, a piece at a time as the socket drains, so a
// picture of any size costs a few hundred kilobytes of memory. Lives as a child of the socket and ends with
// it: a client that goes away stops the transfer. If the file cannot deliver the bytes announced (it
// shrank or failed to read), the connection is cut so the client sees a broken transfer rather than a
// short file that looks complete. Once the file is out the connection is closed, which the response
// announces, so nothing else can be interleaved with the body.
class FileStreamer : public QObject {
    Q_OBJECT // so that the server can find a transfer in progress among a socket's children
        public : static void
                 start(QTcpSocket *socket, std::unique_ptr<QFile> file, qint64 length);

private:
    FileStreamer(QTcpSocket *socket, std::unique_ptr<QFile> file, qint64 length);
    void pump();

    QTcpSocket *m_socket;
    std::unique_ptr<QFile> m_file;
    qint64 m_remaining;
};

} // namespace lumivra::server
