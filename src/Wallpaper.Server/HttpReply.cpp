#include "HttpReply.h"

#include <QTcpSocket>

namespace lumivra::server {

namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

void writeResponseHead(QTcpSocket *socket, int status, const HeaderList &headers) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const auto &[name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
}

void writeResponse(QTcpSocket *socket, int status, HeaderList headers, const QByteArray &body,
                   bool withBody) {
    headers.append(QPair<QByteArray, QByteArray>("Content-Length", QByteArray::number(body.size())));
    writeResponseHead(socket, status, headers);
    if (withBody)
        socket->write(body);
}

} // namespace lumivra::server
