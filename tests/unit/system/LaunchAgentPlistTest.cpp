#include "system/LaunchAgentPlist.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

// The ProgramArguments array as launchd reads it back from the XML.
QStringList readProgramArguments(const QByteArray &plist) {
    QXmlStreamReader xml(plist);
    QStringList arguments;
    bool inArray = false;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == u"array")
            inArray = true;
        else if (xml.isEndElement() && xml.name() == u"array")
            inArray = false;
        else if (inArray && xml.isStartElement() && xml.name() == u"string")
            arguments.append(xml.readElementText());
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return arguments;
}

TEST(LaunchAgentPlist, CarriesTheArgumentsAsWellFormedXml) {
    const QList<QStringList> argumentLists = {
        {QStringLiteral("/usr/bin/open"), QStringLiteral("/Applications/Lumivra.app")},
        {QStringLiteral("/Users/a&b/<x>/\"q\" 'p'/]]>/壁纸.app")},
    };
    for (const QStringList &arguments : argumentLists) {
        const QByteArray plist = launchAgentPlist(arguments);
        EXPECT_EQ(readProgramArguments(plist), arguments);
        EXPECT_TRUE(plist.contains("<key>Label</key>\n\t<string>site.lumivra.wallpaper.mac</string>\n"));
        EXPECT_TRUE(plist.contains("<key>RunAtLoad</key>\n\t<true/>\n"));
    }
}

TEST(LaunchAgentPlist, OnlyAnExactAppExtensionIsOpenedAsABundle) {
    const QString executable = QStringLiteral("/x/Lumivra.app/Contents/MacOS/Lumivra");
    EXPECT_EQ(launchAgentProgramArguments(QStringLiteral("/Applications/Lumivra.app/"), executable),
              (QStringList{QStringLiteral("/usr/bin/open"), QStringLiteral("/Applications/Lumivra.app/")}));
    for (const char *bundle : {"/Applications/Lumivra.APP", "/Applications/Lumivra.App", "/usr/local/bin",
                               "/Applications/Lumivra.apps", "/Applications/.app", ""}) {
        EXPECT_EQ(launchAgentProgramArguments(QString::fromUtf8(bundle), executable), QStringList{executable})
            << bundle;
    }
}

} // namespace
} // namespace lumivra
