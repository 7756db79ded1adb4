#pragma once

#include <QString>
#include <QStringList>

namespace lumivra {

// What one start of the program is asked to do.
struct Command {
    enum class Kind { start, refresh, quit, status, launchAtLogin, help, version, invalid };
    Kind kind = Kind::start;
    bool launchAtLogin = false; // the switch's new position, for Kind::launchAtLogin
    QString error;              // what is wrong with the arguments, for Kind::invalid
};

// Exit statuses beyond 0: the request failed (nothing runs, the last refresh failed, no answer), or the
// command line itself was wrong.
inline constexpr int failedExitStatus = 1;
inline constexpr int usageExitStatus = 2;

// Reads the arguments, the program's own name first. Needs no application object, so that the program can
// decide which one it needs.
Command parseCommandLine(const QStringList &arguments);

// What --help prints; needs the application object.
QString commandLineHelp();

// What --version prints.
QString versionText();

} // namespace lumivra
