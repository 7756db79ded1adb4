#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QNetworkRequest;
class QUrl;

namespace lumivra {

// No picture is larger, whatever length the service announces.
inline constexpr qint64 maxPictureBytes = qint64(1) << 30;

struct DeleteLater {
    void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, DeleteLater>;

// Only the web is ever asked: a file:, qrc: or data: link must not read local resources. Throws
// TransportError.
void requireWebURL(const QUrl &url);

// Throws TransportError for a step from an https address down to a plain http one.
void refuseDowngrade(const QUrl &from, const QUrl &to);

// Qt and HttpCache treat only plain GETs as reads, not custom verbs that happen to read "GET".
bool isPlainGet(const QNetworkRequest &request);

// Starts the request on the shared network access manager, once requireWebURL allowed its address.
ReplyPtr start(const QNetworkRequest &request);

// The HTTP status, or -1 when the answer is not an HTTP response.
int httpStatus(const QNetworkReply &reply);
bool isSuccess(int status);

// What one transfer may cost before it is ended, and the reason given when it is.
struct Budget {
    QDeadlineTimer deadline;
    QString overDeadline;
    qint64 ceiling;
    QString overCeiling;
    bool identityOnly; // a compressed body is refused
};

// An answer of the service: at most 1 MiB, all of it within the deadline (redirects included).
Budget answerBudget(std::chrono::milliseconds deadline);

// A picture: twice its announced length, never less than 64 MiB nor more than maxPictureBytes.
Budget pictureBudget(qint64 announcedLength, std::chrono::milliseconds deadline);

// Receives one piece of a body; returns false to end the transfer.
using Sink = std::function<bool(const QByteArray &)>;

// Waits until the reply finished, handing its body to sink piece by piece as it arrives, and resumes from the
// event loop, never inside Qt's emission of finished. The transfer is ended, and the reason thrown, when the
// deadline passes before it finished, when the body announced or received outgrows the ceiling, or when a
// compressed body comes where none may. Arguments are references to the caller's named locals: GCC 12
// destroys temporaries of a co_await expression twice when the awaited coroutine throws.
QCoro::Task<void> receive(QNetworkReply *reply, const Budget &budget, const Sink &sink);

// Throws TransportError when the transfer itself failed; an HTTP error status is an answer, not a failure.
// timeout is the wait for the next bytes, named in the message when it ran out.
void throwIfTransportFailed(const QNetworkReply &reply, std::chrono::milliseconds timeout);

// Throws TransportError when the connection closed before the announced length arrived.
void throwIfCut(const QNetworkReply &reply, qint64 received);

} // namespace lumivra
