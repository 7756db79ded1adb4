#include "system/LaunchAgentPlist.h"

#include "system/PathExtension.h"

namespace lumivra {

QStringList launchAgentProgramArguments(const QString &bundlePath, const QString &executablePath) {
    // Compared exactly, as Foundation compares extensions: "Lumivra.APP" runs its executable directly.
    if (pathExtension(bundlePath) == u"app")
        return {QStringLiteral("/usr/bin/open"), bundlePath};
    return {executablePath};
}

QByteArray launchAgentPlist(const QStringList &programArguments) {
    QByteArray arguments;
    for (const QString &argument : programArguments)
        arguments += "\t\t<string>" +
                     argument.toHtmlEscaped().replace(u'\'', QStringLiteral("&apos;")).toUtf8() +
                     "</string>\n";
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n"
                             "<dict>\n"
                             "\t<key>Label</key>\n"
                             "\t<string>") +
           launchAgentLabel +
           "</string>\n"
           "\t<key>ProgramArguments</key>\n"
           "\t<array>\n" +
           arguments +
           "\t</array>\n"
           "\t<key>RunAtLoad</key>\n"
           "\t<true/>\n"
           "</dict>\n"
           "</plist>\n";
}

} // namespace lumivra
