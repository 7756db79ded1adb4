#include "HeadlessSway.h"
#include "Wait.h"
#include "client/Errors.h"
#include "system/DesktopBackends.h"

#include <QDir>
#include <QImage>
#include <gmock/gmock.h>

namespace lumivra {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

// Whether one running swaybg (sway starts one for all outputs' pictures) shows each "-o output -i file
// -m fill" group given, the file names byte for byte.
bool swaybgShows(const QList<QStringList> &groups) {
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        const QByteArray arguments =
            '\0' + (cmdline.open(QIODevice::ReadOnly) ? cmdline.readAll() : QByteArray());
        if (arguments.left(arguments.indexOf('\0', 1)).endsWith("swaybg") &&
            std::all_of(groups.begin(), groups.end(), [&](const QStringList &group) {
                return arguments.contains('\0' + QFile::encodeName(group.join(QChar(0))) + '\0');
            }))
            return true;
    }
    return false;
}

// A picture sway's user may read, in sway's shared folder.
QString picture(const test::HeadlessSway &sway, const QString &name) {
    const QString file = sway.sharedFolder() + QLatin1Char('/') + name;
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(file, "PNG");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return file;
}

const ScreenInfo first{QStringLiteral("HEADLESS-1"), {0, 0, 1920, 1080}, 0};

TEST(DesktopSwayTest, EachOutputGetsItsPictureWhateverThePath) {
    test::HeadlessSway sway;
    ASSERT_FALSE(sway.ipcSocket().isEmpty()) << qPrintable(sway.log());
    qputenv("SWAYSOCK", QFile::encodeName(sway.ipcSocket()));
    // Blanks (two in a row, too), quotes, a backslash and shell syntax must reach swaybg unchanged.
    const QString awkward = picture(sway, QStringLiteral("a  b \"c\" 'd' \\e $HOME `x` ~.png"));
    const QString plain = picture(sway, QStringLiteral("plain.png"));
    const auto backend = makeSwayBackend();
    backend->setPicture(awkward, first);
    backend->setPicture(plain, {QStringLiteral("HEADLESS-2"), {1920, 0, 1920, 1080}, 1});
    EXPECT_TRUE(test::waitUntil([&] {
        return swaybgShows({{"-o", "HEADLESS-1", "-i", awkward, "-m", "fill"},
                            {"-o", "HEADLESS-2", "-i", plain, "-m", "fill"}});
    }));
    EXPECT_THAT(
        [&] {
            backend->setPicture(plain, {QStringLiteral("HDMI-A-9"), {0, 0, 1920, 1080}, 2});
        },
        ThrowsMessage<DesktopError>(StrEq("sway 没有名为 HDMI-A-9 的输出，无法设置壁纸。")));
}

TEST(DesktopSwayTest, WithoutSwaybgNothingIsClaimed) {
    test::HeadlessSway sway("swaybg_command /nonexistent/swaybg\n");
    ASSERT_FALSE(sway.ipcSocket().isEmpty()) << qPrintable(sway.log());
    qputenv("SWAYSOCK", QFile::encodeName(sway.ipcSocket()));
    EXPECT_THAT(
        [&] {
            makeSwayBackend(std::chrono::seconds(1))
                ->setPicture(picture(sway, QStringLiteral("a.png")), first);
        },
        ThrowsMessage<DesktopError>(
            StrEq("sway 没有显示输出 HEADLESS-1 的壁纸：缺少 swaybg（sway 用它显示壁纸），请安装 swaybg。")));
}

} // namespace
} // namespace lumivra
