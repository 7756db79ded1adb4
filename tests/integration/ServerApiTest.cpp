#include "ServerFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using lumivra::test::RawConnection;
using lumivra::test::rawRequest;
using lumivra::test::ServerFixture;

namespace {

const QDate someDay(2026, 3, 14);

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

QByteArray sha256Hex(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Every failure must decode as {"error": <non-empty string>}, sent as JSON.
void expectErrorBody(const RawConnection &answer, int status) {
    EXPECT_EQ(answer.status(), status);
    EXPECT_EQ(answer.header("Content-Type"), "application/json; charset=utf-8");
    const QJsonValue error = answer.json().value(QStringLiteral("error"));
    ASSERT_TRUE(error.isString()) << answer.body().toStdString();
    EXPECT_FALSE(error.toString().isEmpty());
}

class ServerApiTest : public ServerFixture {};

TEST_F(ServerApiTest, TodaysRecordDescribesTheServedFileExactly) {
    const QByteArray content = randomBytes(300'001, 1);
    writeFile(QStringLiteral("only picture.JPEG"), content);
    start(someDay);

    const RawConnection answer = get("/api/client/wallpaper/today");
    ASSERT_EQ(answer.status(), 200) << answer.body().toStdString();
    EXPECT_EQ(answer.header("Content-Type"), "application/json; charset=utf-8");
    const QJsonObject record = answer.json();
    EXPECT_EQ(record.size(), 7);
    EXPECT_TRUE(record.value("id").isDouble());
    EXPECT_EQ(record.value("id").toInteger(), record.value("id").toDouble());
    EXPECT_EQ(record.value("effectiveDate").toString(), "2026-03-14");
    EXPECT_EQ(record.value("fileName").toString(), "only picture.JPEG");
    EXPECT_EQ(record.value("contentType").toString(), "image/jpeg");
    EXPECT_EQ(record.value("length").toInteger(), content.size());
    EXPECT_EQ(record.value("sha256").toString().toLatin1(), sha256Hex(content));
    EXPECT_EQ(record.value("downloadUrl").toString(), "files/only%20picture.JPEG");

    const RawConnection file = get("/" + record.value("downloadUrl").toString().toLatin1());
    ASSERT_EQ(file.status(), 200);
    EXPECT_EQ(file.header("Content-Type"), "image/jpeg");
    EXPECT_EQ(file.header("Content-Length").toLongLong(), content.size());
    EXPECT_EQ(file.body(), content);

    const RawConnection head = rawRequest(port(), "HEAD", "/files/only%20picture.JPEG");
    EXPECT_EQ(head.status(), 200);
    EXPECT_EQ(head.header("Content-Length").toLongLong(), content.size());
    EXPECT_TRUE(head.body().isEmpty());
}

TEST_F(ServerApiTest, RotatesThroughPicturesByNameOneADayWithStableIds) {
    writeFile(QStringLiteral("b.png"), "b");
    writeFile(QStringLiteral("a.webp"), "a");
    writeFile(QStringLiteral("c.gif"), "c");
    writeFile(QStringLiteral("notes.txt"), "not a picture");
    writeFile(QStringLiteral(".hidden.png"), "hidden");

    QStringList names;
    QMap<QString, qint64> ids;
    for (int day = 0; day < 6; ++day) {
        const QJsonObject record = todayFor(someDay.addDays(day));
        const QString name = record.value("fileName").toString();
        names.append(name);
        if (ids.contains(name)) {
            EXPECT_EQ(ids[name], record.value("id").toInteger()) << name.toStdString();
        }
        ids[name] = record.value("id").toInteger();
    }
    // Consecutive days walk the sorted list and wrap around; which picture a day starts at is fixed by
    // the date alone.
    const QStringList sorted{"a.webp", "b.png", "c.gif"};
    const qsizetype first = sorted.indexOf(names.first());
    ASSERT_GE(first, 0);
    for (int day = 0; day < 6; ++day)
        EXPECT_EQ(names[day], sorted[(first + day) % 3]) << day;
    EXPECT_EQ(ids.size(), 3);
    EXPECT_EQ(QSet<qint64>(ids.cbegin(), ids.cend()).size(), 3);

    // Adding a picture changes the rotation but not the identity of the others.
    writeFile(QStringLiteral("d.bmp"), "d");
    for (int day = 0; day < 4; ++day) {
        const QJsonObject record = todayFor(someDay.addDays(day));
        if (ids.contains(record.value("fileName").toString())) {
            EXPECT_EQ(record.value("id").toInteger(), ids[record.value("fileName").toString()]);
        } else {
            EXPECT_EQ(record.value("contentType").toString(), "image/bmp");
        }
    }
}

TEST_F(ServerApiTest, ScheduleFileWinsOverRotationForTheDaysItNames) {
    writeFile(QStringLiteral("a.png"), "a");
    writeFile(QStringLiteral("b.png"), "b");
    writeFile(QStringLiteral("holiday.jpg"), "h");
    writeFile(QStringLiteral("schedule.json"),
              R"({"2026-03-14": "holiday.jpg", "2026-03-16": "b.png", "2026-03-17": "gone.png",
                  "2026-03-18": "../a.png"})");

    EXPECT_EQ(todayFor(someDay).value("fileName").toString(), "holiday.jpg");
    EXPECT_EQ(todayFor(someDay.addDays(2)).value("fileName").toString(), "b.png");
    // An unscheduled day falls back to the rotation (which includes the scheduled picture too).
    const QString unscheduled = todayFor(someDay.addDays(1)).value("fileName").toString();
    EXPECT_TRUE(QStringList({"a.png", "b.png", "holiday.jpg"}).contains(unscheduled));

    start(someDay.addDays(3));
    expectErrorBody(get("/api/client/wallpaper/today"), 404);
    // A name that is not a plain file name is the schedule's fault, not the client's.
    start(someDay.addDays(4));
    expectErrorBody(get("/api/client/wallpaper/today"), 500);

    writeFile(QStringLiteral("schedule.json"), "{ not json");
    expectErrorBody(get("/api/client/wallpaper/today"), 500);
}

TEST_F(ServerApiTest, WithoutPicturesTodayIsNotFound) {
    writeFile(QStringLiteral("readme.txt"), "no pictures here");
    start(someDay);
    const RawConnection answer = get("/api/client/wallpaper/today");
    expectErrorBody(answer, 404);
    EXPECT_EQ(answer.header("Cache-Control"), "no-store");
}

TEST_F(ServerApiTest, DigestFollowsAnyReplacementOfThePicture) {
    const QString path = writeFile(QStringLiteral("daily.png"), randomBytes(4096, 2));
    start(someDay);
    const QJsonObject before = get("/api/client/wallpaper/today").json();
    EXPECT_EQ(before.value("sha256").toString().toLatin1(), sha256Hex(randomBytes(4096, 2)));

    // Same size and the same modification time, as cp -p or tar leave a replaced picture.
    const QDateTime modified = QFileInfo(path).lastModified();
    writeFile(QStringLiteral("daily.png"), randomBytes(4096, 3));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    const QJsonObject after = settledToday().json();
    EXPECT_EQ(after.value("sha256").toString().toLatin1(), sha256Hex(randomBytes(4096, 3)));

    writeFile(QStringLiteral("daily.png"), "smaller");
    const QJsonObject smaller = settledToday().json();
    EXPECT_EQ(smaller.value("sha256").toString().toLatin1(), sha256Hex("smaller"));
    EXPECT_EQ(smaller.value("length").toInteger(), 7);
    EXPECT_EQ(smaller.value("id"), before.value("id"));
}

TEST_F(ServerApiTest, NamesThatLeaveTheFolderAreRefused) {
    QTemporaryDir outside;
    QFile secret(outside.filePath(QStringLiteral("secret.png")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("TOP-SECRET");
    secret.close();
    ASSERT_TRUE(QDir(root()).mkdir(QStringLiteral("sub")));
    writeFile(QStringLiteral("sub/inner.png"), "inner");
    writeFile(QStringLiteral("fine.png"), "fine");
    ASSERT_TRUE(QFile::link(secret.fileName(), QDir(root()).filePath(QStringLiteral("link.png"))));
    start(someDay);

    const QByteArray escape = QDir(root()).relativeFilePath(secret.fileName()).toUtf8();
    const QList<QByteArray> targets{
        "/files/../" + escape,
        "/files/..%2f" + escape,
        "/files/..%2F" + escape,
        "/files/%2e%2e%2f" + escape,
        "/files/..%5c" + escape,
        "/files/sub/inner.png",
        "/files/sub%2finner.png",
        "/files/fine.png%00.png",
        "/files/..",
        "/files/",
        "/files/link.png",
    };
    for (const QByteArray &target : targets) {
        SCOPED_TRACE(target.toStdString());
        const RawConnection answer = get(target);
        EXPECT_GE(answer.status(), 400);
        EXPECT_LT(answer.status(), 500);
        EXPECT_FALSE(answer.body().contains("TOP-SECRET"));
        expectErrorBody(answer, answer.status());
    }
    // The link is neither served nor part of the rotation.
    for (int day = 0; day < 3; ++day)
        EXPECT_EQ(todayFor(someDay.addDays(day)).value("fileName").toString(), "fine.png");
    EXPECT_EQ(get("/files/fine.png").body(), "fine");
}

TEST_F(ServerApiTest, UnknownAddressesMethodsAndFilesAnswerWithErrorBodies) {
    writeFile(QStringLiteral("a.png"), "a");
    start(someDay);

    expectErrorBody(get("/"), 404);
    expectErrorBody(get("/api/client/wallpaper/tomorrow"), 404);
    expectErrorBody(get("/files/missing.png"), 404);
    expectErrorBody(get("/files/a.txt"), 404);

    const RawConnection post =
        rawRequest(port(), "POST", "/api/client/wallpaper/today", {{"Content-Length", "0"}});
    expectErrorBody(post, 405);
    EXPECT_EQ(post.header("Allow"), "GET, HEAD");
    expectErrorBody(rawRequest(port(), "DELETE", "/files/a.png"), 405);
    EXPECT_EQ(get("/files/a.png").body(), "a");
}

TEST_F(ServerApiTest, CachingClientsRevalidateAndSeeTheNextDay) {
    writeFile(QStringLiteral("a.png"), "a");
    writeFile(QStringLiteral("b.png"), "b");
    start(someDay);

    const RawConnection today = get("/api/client/wallpaper/today");
    EXPECT_EQ(today.header("Cache-Control"), "no-cache");
    const QByteArray tag = today.header("ETag");
    ASSERT_FALSE(tag.isEmpty());
    EXPECT_EQ(get("/api/client/wallpaper/today", {{"If-None-Match", tag}}).status(), 304);

    const RawConnection file = get("/files/a.png");
    EXPECT_FALSE(file.header("Last-Modified").isEmpty());
    const RawConnection unchanged = get("/files/a.png", {{"If-None-Match", file.header("ETag")}});
    EXPECT_EQ(unchanged.status(), 304);
    EXPECT_TRUE(unchanged.body().isEmpty());

    start(someDay.addDays(1));
    const RawConnection tomorrow = get("/api/client/wallpaper/today", {{"If-None-Match", tag}});
    EXPECT_EQ(tomorrow.status(), 200);
    EXPECT_NE(tomorrow.header("ETag"), tag);
    EXPECT_EQ(tomorrow.json().value("effectiveDate").toString(), "2026-03-15");
}

TEST_F(ServerApiTest, LargeFilesAreStreamedWhole) {
    // 64 MiB, mostly a hole in the file system, with distinct bytes at both ends.
    const qint64 size = 64LL * 1024 * 1024 + 3;
    QFile large(QDir(root()).filePath(QStringLiteral("large.png")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    large.write("head");
    ASSERT_TRUE(large.resize(size - 4));
    ASSERT_TRUE(large.seek(size - 4));
    large.write("tail");
    large.close();
    ASSERT_EQ(QFileInfo(large.fileName()).size(), size);
    start(someDay);

    const QJsonObject record = get("/api/client/wallpaper/today").json();
    EXPECT_EQ(record.value("length").toInteger(), size);
    const QByteArray file = get("/files/large.png").body();
    EXPECT_EQ(file.size(), size);
    EXPECT_EQ(sha256Hex(file), record.value("sha256").toString().toLatin1());
}

} // namespace
