#include "PrivateBus.h"
#include "TempHome.h"
#include "Wait.h"
#include "X11Probe.h"
#include "client/Errors.h"
#include "system/DesktopPeer_linux.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString channel = QStringLiteral("xfce4-desktop");

QString lastImage(const QString &monitor, int workspace) {
    return QStringLiteral("/backdrop/screen0/monitor%1/workspace%2/last-image").arg(monitor).arg(workspace);
}

// Against a real xfconfd of the test's own, on a private bus, with its files in a temporary HOME.
class XfceBackendTest : public ::testing::Test {
protected:
    void startXfconfd() {
        const QString xfconfd = qEnvironmentVariable("LUMIVRA_XFCONFD");
        ASSERT_TRUE(QFile::exists(xfconfd)) << "xfconfd not found (package xfconf)";
        bus.start(xfconfd);
        ASSERT_TRUE(bus.waitForName(QStringLiteral("org.xfce.Xfconf")));
    }

    // The first workspace's picture of HDMI-1, fixed for this user by an administrator: xfconfd refuses to
    // change it. xfconfd reads where such settings live when it starts.
    void startXfconfdWithALockedPicture() {
        const QString dir = home.path() + QStringLiteral("/system/xfce4/xfconf/xfce-perchannel-xml");
        QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/xfce4-desktop.xml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArrayLiteral(
                       R"(<?xml version="1.0"?><channel name="xfce4-desktop" version="1.0">)"
                       R"(<property name="backdrop" type="empty"><property name="screen0" type="empty">)"
                       R"(<property name="monitorHDMI-1" type="empty">)"
                       R"(<property name="workspace0" type="empty"><property name="last-image" )"
                       R"(type="string" value="/usr/share/backgrounds/company.png" locked=")") +
                   QByteArray(::getpwuid(::getuid())->pw_name) +
                   R"("/></property></property></property></property></channel>)");
        file.close();
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home.path() + QStringLiteral("/system")));
        startXfconfd();
        qunsetenv("XDG_CONFIG_DIRS");
    }

    QDBusMessage callXfconf(const QString &method, const QVariantList &arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.xfce.Xfconf"),
                                                           QStringLiteral("/org/xfce/Xfconf"),
                                                           QStringLiteral("org.xfce.Xfconf"), method);
        call.setArguments(arguments);
        return tester.call(call);
    }

    void set(const QString &channelName, const QString &property, const QVariant &value) {
        const QDBusMessage reply = callXfconf(
            QStringLiteral("SetProperty"), {channelName, property, QVariant::fromValue(QDBusVariant(value))});
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // The stored value, or "" when there is none.
    QString get(const QString &property) {
        const QDBusReply<QDBusVariant> reply = callXfconf(QStringLiteral("GetProperty"), {channel, property});
        return reply.isValid() ? reply.value().variant().toString() : QString();
    }

    QString setPicture(const QString &file, const ScreenInfo &screen) {
        try {
            // A first start on a fresh, busy machine may take long to answer; the wait is not under test.
            makeXfceBackend(client, 60s)->setPicture(file, screen);
        } catch (const DesktopError &error) {
            return error.localizedDescription();
        }
        return {};
    }

    TempHome home;
    PrivateBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("xfce-client"));
    QDBusConnection tester = bus.connect(QStringLiteral("xfce-test"));
    const ScreenInfo hdmi{QStringLiteral("HDMI-1"), {0, 0, 1920, 1080}, 0};
};

TEST_F(XfceBackendTest, FreshProfileGetsThePictureOnEveryWorkspaceOfTheWindowManager) {
    ASSERT_NO_FATAL_FAILURE(startXfconfd());
    set(QStringLiteral("xfwm4"), QStringLiteral("/general/workspace_count"), 3);
    const QString file = home.path() + QStringLiteral("/it's a \"picture\".jpg");

    EXPECT_EQ(setPicture(file, hdmi), QString());

    for (int workspace = 0; workspace < 3; ++workspace)
        EXPECT_EQ(get(lastImage(QStringLiteral("HDMI-1"), workspace)), file) << workspace;
    EXPECT_EQ(get(lastImage(QStringLiteral("HDMI-1"), 3)), QString());
}

TEST_F(XfceBackendTest, XfdesktopDrawsThePicture) {
    ASSERT_NO_FATAL_FAILURE(startXfconfd());
    const X11Probe x11;
    const std::optional<QColor> bare = x11.shownAt(640, 400);
    // Without a window manager xfdesktop waits for one unless told not to.
    bus.start(QStringLiteral("xfdesktop"), {QStringLiteral("--disable-wm-check")});
    // xfdesktop has taken the screen once it has drawn its own backdrop; xfdesktop 4.18 (Debian 12) may
    // draw it in the bare screen's colour, but saves it as its picture then, over any picture set before.
    QProcess version;
    version.start(QStringLiteral("xfdesktop"), {QStringLiteral("--version")});
    version.waitForFinished();
    const bool savesDefault = version.readAllStandardOutput().contains("version 4.18");
    ASSERT_TRUE(waitUntil([&] {
        return savesDefault ? !get(lastImage(QStringLiteral("screen"), 0)).isEmpty()
                            : x11.shownAt(640, 400) != bare;
    }));
    const QString file = home.path() + QStringLiteral("/it's a \"picture\".png");
    QImage picture(64, 40, QImage::Format_RGB32);
    picture.fill(QColor(16, 128, 192));
    ASSERT_TRUE(picture.save(file, "PNG"));

    // The test's Xvfb has one output, which X11 and xfdesktop call "screen".
    EXPECT_EQ(setPicture(file, {QStringLiteral("screen"), {0, 0, 1280, 800}, 0}), QString());

    EXPECT_TRUE(waitUntil([&] { return near(x11.shownAt(640, 400), picture.pixel(0, 0)); }))
        << qPrintable(x11.shownAt(640, 400).value_or(QColor()).name());
}

TEST_F(XfceBackendTest, EveryWorkspaceXfdesktopKnowsForThatMonitorAndNoOtherMonitor) {
    ASSERT_NO_FATAL_FAILURE(startXfconfd());
    const QString old = QStringLiteral("/usr/share/backgrounds/xfce/old.png");
    for (int workspace : {0, 1, 3})
        set(channel, lastImage(QStringLiteral("HDMI-1"), workspace), old);
    set(channel, lastImage(QStringLiteral("HDMI-10"), 5), old);
    set(channel, lastImage(QStringLiteral("DP-2"), 0), old);

    // A relative name is made absolute: xfdesktop does not know our working directory.
    EXPECT_EQ(setPicture(QStringLiteral("new.png"), hdmi), QString());

    const QString file = QDir::current().absoluteFilePath(QStringLiteral("new.png"));
    for (int workspace = 0; workspace < 4; ++workspace)
        EXPECT_EQ(get(lastImage(QStringLiteral("HDMI-1"), workspace)), file) << workspace;
    EXPECT_EQ(get(lastImage(QStringLiteral("HDMI-1"), 4)), QString());
    EXPECT_EQ(get(lastImage(QStringLiteral("HDMI-10"), 5)), old);
    EXPECT_EQ(get(lastImage(QStringLiteral("DP-2"), 0)), old);
}

TEST_F(XfceBackendTest, ALockedSettingIsAnErrorWithXfconfsReason) {
    ASSERT_NO_FATAL_FAILURE(startXfconfdWithALockedPicture());

    const QString error = setPicture(home.path() + QStringLiteral("/a.jpg"), hdmi);

    EXPECT_TRUE(error.startsWith(QStringLiteral("XFCE 桌面拒绝设置壁纸"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("Permission denied"))) << error.toStdString();
    EXPECT_EQ(get(lastImage(QStringLiteral("HDMI-1"), 0)),
              QStringLiteral("/usr/share/backgrounds/company.png"));
}

TEST_F(XfceBackendTest, NoXfconfdOrNoMonitorNameIsAnError) {
    const QString missing = setPicture(QStringLiteral("/tmp/a.jpg"), hdmi);
    EXPECT_TRUE(missing.startsWith(QStringLiteral("无法连接 XFCE 桌面"))) << missing.toStdString();

    ASSERT_NO_FATAL_FAILURE(startXfconfd());
    const QString unnamed = setPicture(QStringLiteral("/tmp/a.jpg"), {QString(), {0, 0, 800, 600}, 1});
    EXPECT_TRUE(unnamed.contains(QStringLiteral("第 2 块屏幕没有名称"))) << unnamed.toStdString();
}

} // namespace
