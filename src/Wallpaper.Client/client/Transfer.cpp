#include "client/Transfer.h"

#include "client/Errors.h"
#include "client/NetworkAccess.h"

#include <QNetworkAccessManager>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <coroutine>
#include <vector>

namespace lumivra {

namespace {

// Qt buffers at most this much of an answer before it stops reading from the socket.
constexpr qint64 readBufferBytes = qint64(1) << 20;
// The wallpaper record is a few hundred bytes: an answer larger than this is not one.
constexpr qint64 maxAnswerBytes = qint64(1) << 20;
// How far a picture may outgrow its announced length before the transfer is ended: twice that length, and
// never less than this. The digest would reject such a body anyway; the limit keeps it off the disk.
constexpr qint64 minPictureCeiling = qint64(64) << 20;

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(std::chrono::ceil<std::chrono::seconds>(duration).count());
}

QString lateMessage(std::chrono::milliseconds deadline) {
    return QStringLiteral("请求超时：服务器在 %1 秒内没有传完响应。").arg(seconds(deadline));
}

// Qt reports an HTTP error status as a reply error too; that is an answer to check, not a failed transfer.
// The same error codes under a success status are faults of the transfer itself: UnknownContentError
// there means a body that does not decode.
bool reportsStatus(const QNetworkReply &reply) {
    const QNetworkReply::NetworkError error = reply.error();
    const int code = static_cast<int>(error);
    const bool statusCode = (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
                            error == QNetworkReply::ProtocolInvalidOperationError ||
                            error == QNetworkReply::ProxyAuthenticationRequiredError;
    const int status = httpStatus(reply);
    return statusCode && status >= 0 && !isSuccess(status);
}

// Resumes the awaiting coroutine from the event loop once the reply finished. What follows may hash a large
// file or run a loop of its own (an alert): it must not run inside Qt's emission of finished, which QCoro's
// own awaiter resumes from in some releases and not in others.
class Finished {
public:
    explicit Finished(QNetworkReply *reply) : m_reply(reply) {}
    bool await_ready() const { return m_reply->isFinished(); }
    void await_suspend(std::coroutine_handle<> waiting) const {
        QObject::connect(
            m_reply, &QNetworkReply::finished, m_reply, [waiting] { waiting.resume(); },
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    }
    void await_resume() const {}

private:
    QNetworkReply *m_reply;
};

// Reads a reply as its bytes arrive and ends the transfer once it outgrows its budget. Its handlers go with
// it, however the coroutine that holds it ends.
class Receiver {
public:
    Receiver(QNetworkReply *reply, const Budget &budget, const Sink &sink)
        : m_reply(reply), m_budget(budget), m_sink(sink) {
        m_deadline.setSingleShot(true);
        m_connections = {
            QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this] { checkHead(); }),
            QObject::connect(reply, &QIODevice::readyRead, reply, [this] { drain(); }),
            // A finished transfer is whole: the deadline passing before its coroutine resumes takes nothing
            // from it.
            QObject::connect(&m_deadline, &QTimer::timeout, reply, [this] {
                if (!m_reply->isFinished())
                    stop(m_budget.overDeadline);
            })};
        m_deadline.start(
            std::chrono::ceil<std::chrono::milliseconds>(budget.deadline.remainingTimeAsDuration()));
    }
    ~Receiver() {
        for (const QMetaObject::Connection &connection : m_connections)
            QObject::disconnect(connection);
    }
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;

    void drain() {
        while (!m_stopped && m_reply->bytesAvailable() > 0) {
            const QByteArray piece = m_reply->read(readBufferBytes);
            m_received += piece.size();
            if (m_received > m_budget.ceiling)
                stop(m_budget.overCeiling);
            else if (!m_sink(piece))
                stop({});
        }
    }

    const QString &reason() const { return m_reason; }

private:
    void checkHead() {
        const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (m_budget.identityOnly && !encoding.isEmpty() && encoding != "identity")
            stop(QStringLiteral("服务器以压缩格式（%1）发送了壁纸文件，而请求的是未压缩的文件。")
                     .arg(QString::fromLatin1(encoding)));
        bool known = false;
        const qint64 announced = m_reply->rawHeader("Content-Length").toLongLong(&known);
        if (known && announced > m_budget.ceiling)
            stop(m_budget.overCeiling);
    }

    void stop(const QString &why) {
        if (m_stopped)
            return;
        m_stopped = true;
        m_reason = why;
        // Queued: the reply is in the middle of the signal that asked, and aborting would finish it there.
        QMetaObject::invokeMethod(m_reply, &QNetworkReply::abort, Qt::QueuedConnection);
    }

    QNetworkReply *m_reply;
    const Budget &m_budget;
    const Sink &m_sink;
    QTimer m_deadline;
    std::vector<QMetaObject::Connection> m_connections;
    qint64 m_received = 0;
    bool m_stopped = false;
    QString m_reason;
};

} // namespace

void requireWebURL(const QUrl &url) {
    if (!url.isValid())
        throw TransportError(QStringLiteral("地址无效：“%1”。").arg(url.toString()));
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        throw TransportError(QStringLiteral("不支持的地址：“%1”。只能通过 http 或 https 获取壁纸。")
                                 .arg(url.toDisplayString()));
}

void refuseDowngrade(const QUrl &from, const QUrl &to) {
    if (from.scheme().toLower() == QLatin1String("https") && to.scheme().toLower() == QLatin1String("http"))
        throw TransportError(
            QStringLiteral("已拒绝从 https 转到不加密的 http 地址：“%1”。").arg(to.toDisplayString()));
}

bool isPlainGet(const QNetworkRequest &request) {
    const QString method = request.attribute(QNetworkRequest::CustomVerbAttribute).toString();
    return method.isEmpty() || method == QLatin1String("GET");
}

ReplyPtr start(const QNetworkRequest &request) {
    requireWebURL(request.url());
    QNetworkAccessManager &manager = sharedNetworkAccessManager();
    const QByteArray method = request.attribute(QNetworkRequest::CustomVerbAttribute).toString().toLatin1();
    ReplyPtr reply(isPlainGet(request) ? manager.get(request) : manager.sendCustomRequest(request, method));
    reply->setReadBufferSize(readBufferBytes);
    return reply;
}

int httpStatus(const QNetworkReply &reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : -1;
}

bool isSuccess(int status) {
    return status >= 200 && status <= 299;
}

Budget answerBudget(std::chrono::milliseconds deadline) {
    return {QDeadlineTimer(deadline), lateMessage(deadline), maxAnswerBytes,
            QStringLiteral("服务器的响应过大：超过 1 MiB，已停止接收。"), false};
}

Budget pictureBudget(qint64 announcedLength, std::chrono::milliseconds deadline) {
    const qint64 announced = std::clamp<qint64>(announcedLength, 0, maxPictureBytes);
    const qint64 ceiling = std::clamp(2 * announced, minPictureCeiling, maxPictureBytes);
    return {QDeadlineTimer(deadline), lateMessage(deadline), ceiling,
            QStringLiteral("壁纸文件过大：服务器发送的数据超过 %1 MiB，已停止下载。")
                .arg((ceiling + (qint64(1) << 20) - 1) >> 20),
            true};
}

QCoro::Task<void> receive(QNetworkReply *reply, const Budget &budget, const Sink &sink) {
    Receiver receiver(reply, budget, sink);
    co_await Finished(reply);
    receiver.drain();
    if (!receiver.reason().isEmpty())
        throw TransportError(receiver.reason());
}

void throwIfTransportFailed(const QNetworkReply &reply, std::chrono::milliseconds timeout) {
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError || reportsStatus(reply))
        return;
    // Ending a reply early throws its own reason first, so a cancellation is Qt's idle time-out firing.
    if (error == QNetworkReply::OperationCanceledError)
        throw TransportError(QStringLiteral("请求超时：服务器在 %1 秒内没有响应。").arg(seconds(timeout)));
    if (error == QNetworkReply::UnknownContentError)
        throw TransportError(QStringLiteral("服务器发送的内容无法解码：%1").arg(reply.errorString()));
    throw TransportError(reply.errorString());
}

// Qt can finish a reply without an error when the server closes the connection before the announced
// length arrived; a short body is a broken transfer, not a corrupt image or malformed JSON.
void throwIfCut(const QNetworkReply &reply, qint64 received) {
    const int status = httpStatus(reply);
    if (reply.operation() == QNetworkAccessManager::HeadOperation || status == 204 || status == 304 ||
        reply.hasRawHeader("Content-Encoding"))
        return;
    bool known = false;
    const qint64 announced = reply.rawHeader("Content-Length").toLongLong(&known);
    if (known && received < announced)
        throw TransportError(
            QStringLiteral("连接在传输中断开：只收到 %1 字节中的 %2 字节。").arg(announced).arg(received));
}

} // namespace lumivra
