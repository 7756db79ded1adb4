#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

class QTcpSocket;

namespace lumivra::server {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// Writes the status line and header block of an HTTP/1.1 response; the body, if any, follows on the socket.
void writeResponseHead(QTcpSocket *socket, int status, const HeaderList &headers);

// A whole response whose body is already in memory (JSON, errors). With `withBody` false (a HEAD request)
// only the head goes out, still announcing the body's length.
void writeResponse(QTcpSocket *socket, int status, HeaderList headers, const QByteArray &body, bool withBody);

} // namespace lumivra::server
