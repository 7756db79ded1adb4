#include "system/LaunchAgentPlist.h"

#include <gtest/gtest.h>

namespace lumivra {
namespace {

QByteArray plistWith(const QByteArray &argumentLines) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n"
           "<dict>\n"
           "\t<key>Label</key>\n"
           "\t<string>site.lumivra.wallpaper.mac</string>\n"
           "\t<key>ProgramArguments</key>\n"
           "\t<array>\n" +
           argumentLines +
           "\t</array>\n"
           "\t<key>RunAtLoad</key>\n"
           "\t<true/>\n"
           "</dict>\n"
           "</plist>\n";
}

TEST(LaunchAgentPlist, BundleFormOpensTheApplication) {
    EXPECT_EQ(
        launchAgentPlist({QStringLiteral("/usr/bin/open"), QStringLiteral("/Applications/Lumivra.app")}),
        plistWith("\t\t<string>/usr/bin/open</string>\n"
                  "\t\t<string>/Applications/Lumivra.app</string>\n"));
}

TEST(LaunchAgentPlist, SingleArgumentFormRunsTheExecutable) {
    EXPECT_EQ(launchAgentPlist({QStringLiteral("/opt/lumivra/bin/Lumivra")}),
              plistWith("\t\t<string>/opt/lumivra/bin/Lumivra</string>\n"));
}

TEST(LaunchAgentPlist, ArgumentsAreEscapedAsXmlTextInUtf8) {
    EXPECT_EQ(launchAgentPlist({QStringLiteral("/Users/a&b/<x>/\"q\" 'p'/壁纸.app")}),
              plistWith("\t\t<string>/Users/a&amp;b/&lt;x&gt;/&quot;q&quot; &apos;p&apos;/"
                        "\xe5\xa3\x81\xe7\xba\xb8.app</string>\n"));
}

TEST(LaunchAgentProgramArguments, OnlyAnExactAppExtensionIsOpenedAsABundle) {
    const QString executable = QStringLiteral("/x/Lumivra.app/Contents/MacOS/Lumivra");
    EXPECT_EQ(launchAgentProgramArguments(QStringLiteral("/Applications/Lumivra.app"), executable),
              (QStringList{QStringLiteral("/usr/bin/open"), QStringLiteral("/Applications/Lumivra.app")}));
    for (const char *bundle : {"/Applications/Lumivra.APP", "/Applications/Lumivra.App", "/usr/local/bin",
                               "/Applications/Lumivra.apps", "/Applications/.app", ""}) {
        EXPECT_EQ(launchAgentProgramArguments(QString::fromUtf8(bundle), executable), QStringList{executable})
            << bundle;
    }
}

} // namespace
} // namespace lumivra
