#include "HeadlessSway.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/Errors.h"
#include "system/DesktopBackends.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

using test::HeadlessSway;

// Whether one running swaybg (sway starts one for all outputs' pictures) shows each "-o output -i file
// -m fill" group given, the file names byte for byte.
bool swaybgShows(const QList<QStringList> &groups) {
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray arguments = '\0' + cmdline.readAll();
        if (arguments.left(arguments.indexOf('\0', 1)).endsWith("swaybg") &&
            std::all_of(groups.begin(), groups.end(), [&](const QStringList &group) {
                return arguments.contains('\0' + QFile::encodeName(group.join(QChar(0))) + '\0');
            }))
            return true;
    }
    return false;
}

// Replaces one environment variable for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const QByteArray &value)
        : m_name(name), m_saved(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (m_wasSet)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    const char *m_name;
    QByteArray m_saved;
    bool m_wasSet;
};

QString picture(const QString &folder, const QString &name, QColor colour) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(colour);
    const QString file = folder + QLatin1Char('/') + name;
    image.save(file, "PNG");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return file;
}

// The description of the error setting the picture ends in, or "" when it succeeds.
QString failure(DesktopBackend &backend, const QString &file, const ScreenInfo &screen) {
    try {
        backend.setPicture(file, screen);
    } catch (const DesktopError &error) {
        return error.localizedDescription();
    }
    return {};
}

const ScreenInfo first{QStringLiteral("HEADLESS-1"), QRect(0, 0, 1920, 1080), 0};

TEST(DesktopSwayTest, EachOutputGetsItsPictureWhateverThePath) {
    HeadlessSway sway;
    ASSERT_FALSE(sway.ipcSocket().isEmpty()) << qPrintable(sway.log());
    const ScopedVariable socket("SWAYSOCK", QFile::encodeName(sway.ipcSocket()));

    // Blanks (two in a row, too), quotes, a backslash and shell syntax must reach swaybg unchanged.
    const QString awkward =
        picture(sway.sharedFolder(), QStringLiteral("a  b \"c\" 'd' \\e $HOME `x` ~.png"), Qt::red);
    const QString plain = picture(sway.sharedFolder(), QStringLiteral("plain.png"), Qt::blue);
    const auto backend = makeSwayBackend();
    backend->setPicture(awkward, first);
    EXPECT_TRUE(test::waitUntil([&] {
        return swaybgShows({{"-o", "HEADLESS-1", "-i", awkward, "-m", "fill"}});
    })) << qPrintable(sway.log());

    backend->setPicture(plain, {QStringLiteral("HEADLESS-2"), QRect(1920, 0, 1920, 1080), 1});
    EXPECT_TRUE(test::waitUntil([&] {
        return swaybgShows({{"-o", "HEADLESS-1", "-i", awkward, "-m", "fill"},
                            {"-o", "HEADLESS-2", "-i", plain, "-m", "fill"}});
    })) << qPrintable(sway.log());

    EXPECT_EQ(failure(*backend, plain, {QStringLiteral("HDMI-A-9"), QRect(0, 0, 1920, 1080), 2}),
              "sway 没有名为 HDMI-A-9 的输出，无法设置壁纸。");
}

TEST(DesktopSwayTest, WithoutSwaybgNothingIsClaimed) {
    HeadlessSway sway("swaybg_command /nonexistent/swaybg\n");
    ASSERT_FALSE(sway.ipcSocket().isEmpty()) << qPrintable(sway.log());
    const ScopedVariable socket("SWAYSOCK", QFile::encodeName(sway.ipcSocket()));
    EXPECT_EQ(failure(*makeSwayBackend(std::chrono::seconds(1)),
                      picture(sway.sharedFolder(), QStringLiteral("a.png"), Qt::red), first),
              "sway 没有显示输出 HEADLESS-1 的壁纸：缺少 swaybg（sway 用它显示壁纸），请安装 swaybg。");
}

TEST(DesktopSwayTest, UnreachableSwayOrMissingSwaymsgIsAnError) {
    const test::TempHome home;
    const QString file = home.path() + QStringLiteral("/a.png");
    {
        const ScopedVariable socket("SWAYSOCK",
                                    QFile::encodeName(home.path() + QStringLiteral("/no-sway.sock")));
        const QString error = failure(*makeSwayBackend(), file, first);
        EXPECT_TRUE(error.startsWith(QStringLiteral("sway 拒绝设置壁纸：")) && error.contains("no-sway.sock"))
            << error.toStdString();
    }
    const ScopedVariable path("PATH", QFile::encodeName(home.path()));
    const QString error = failure(*makeSwayBackend(), file, first);
    EXPECT_TRUE(error.startsWith(QStringLiteral("无法运行 swaymsg"))) << error.toStdString();
}

} // namespace
} // namespace lumivra
