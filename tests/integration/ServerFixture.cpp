#include "ServerFixture.h"

#include "Wait.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>
#include <chrono>

namespace lumivra::test {

QJsonObject RawAnswer::json() const {
    return QJsonDocument::fromJson(body).object();
}

RawAnswer rawRequest(const QHostAddress &host, quint16 port, const QByteArray &method,
                     const QByteArray &target, const QList<QPair<QByteArray, QByteArray>> &headers,
                     KeepBody keep) {
    RawAnswer answer;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray pending;
    bool headDone = false;
    qint64 expected = 0;
    QTcpSocket socket;

    const auto consume = [&] {
        pending += socket.readAll();
        if (!headDone) {
            const qsizetype end = pending.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = pending.left(end).split('\n');
            answer.status = lines.value(0).split(' ').value(1).toInt();
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                answer.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                      lines[i].mid(colon + 1).trimmed());
            }
            pending.remove(0, end + 4);
            headDone = true;
            const bool bodiless = method == "HEAD" || answer.status == 304;
            expected = bodiless ? 0 : answer.header("Content-Length").toLongLong();
        }
        const qint64 take = std::min<qint64>(pending.size(), expected - answer.bodyLength);
        hash.addData(QByteArrayView(pending.constData(), take));
        if (keep == KeepBody::yes)
            answer.body += pending.left(take);
        answer.bodyLength += take;
        pending.remove(0, take);
        answer.complete = answer.bodyLength == expected;
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, consume);
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { answer.connectionCut = !answer.complete; });

    socket.connectToHost(host, port);
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: test\r\n";
    for (const auto &[name, value] : headers)
        request += name + ": " + value + "\r\n";
    socket.write(request + "\r\n");
    waitUntil([&] { return (headDone && answer.complete) || answer.connectionCut; }, std::chrono::minutes(2));
    answer.bodySha256 = hash.result().toHex();
    return answer;
}

QString ServerFixture::writeFile(const QString &name, const QByteArray &content) const {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

void ServerFixture::start(std::optional<QDate> pinnedDate) {
    m_server = std::make_unique<server::WallpaperHttpServer>(root(), pinnedDate);
    QString error;
    const auto port = m_server->listenOn(QHostAddress::LocalHost, 0, &error);
    ASSERT_TRUE(port) << error.toStdString();
    m_port = *port;
}

RawAnswer ServerFixture::settledToday() const {
    RawAnswer answer;
    waitUntil([&] {
        answer = get("/api/client/wallpaper/today");
        return answer.status != 503;
    });
    return answer;
}

QJsonObject ServerFixture::todayFor(const QDate &date) {
    start(date);
    const RawAnswer answer = get("/api/client/wallpaper/today");
    EXPECT_EQ(answer.status, 200) << answer.body.toStdString();
    return answer.json();
}

} // namespace lumivra::test
