#include "system/LaunchAgentPlist.h"
#include "system/LaunchAtLoginService.h"
#include "system/LoginEntryFile.h"

#include <CoreFoundation/CoreFoundation.h>
#include <QCoreApplication>
#include <QDir>

namespace lumivra::LaunchAtLoginService {

namespace {
QString mainBundlePath() {
    const CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle)
        return {};
    const CFURLRef url = CFBundleCopyBundleURL(bundle);
    if (!url)
        return {};
    const CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    CFRelease(url);
    if (!path)
        return {};
    const QString result = QString::fromCFString(path);
    CFRelease(path);
    return result;
}

// The executable's absolute path rather than argv[0], which may be relative to a folder launchd
// knows nothing about.
void writeLaunchAgent() {
    writeLoginEntry(launchAgentURL(), launchAgentPlist(launchAgentProgramArguments(
                                          mainBundlePath(), QCoreApplication::applicationFilePath())));
}
} // namespace

QString launchAgentURL() {
    return QDir::homePath() + QStringLiteral("/Library/LaunchAgents/") +
           QString::fromLatin1(launchAgentLabel) + QStringLiteral(".plist");
}

bool isEnabled() {
    return loginEntryExists(launchAgentURL());
}

void setEnabled(bool enabled) {
    if (enabled)
        writeLaunchAgent();
    else
        removeLoginEntry(launchAgentURL());
}

} // namespace lumivra::LaunchAtLoginService
