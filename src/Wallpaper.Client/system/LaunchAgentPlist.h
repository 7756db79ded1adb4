#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lumivra {

inline constexpr char launchAgentLabel[] = "site.lumivra.wallpaper.mac";

// What launchd runs at login: the bundle through /usr/bin/open when the client runs from an ".app"
// bundle (so the app starts as the user would start it), otherwise the executable itself.
QStringList launchAgentProgramArguments(const QString &bundlePath, const QString &executablePath);

// The agent's property list, byte for byte as Apple's XML serialiser writes it: Label,
// ProgramArguments and RunAtLoad, nothing else.
QByteArray launchAgentPlist(const QStringList &programArguments);

} // namespace lumivra
