#pragma once

#include <QProcess>
#include <QStringList>
#include <string>

// The program under test, seen from outside as a user sees it.
namespace lumivra::test {

// What became of the program; "exited with code 0" is a clean end.
inline std::string fate(QProcess &program, int waitMs = 5000) {
    if (!program.waitForFinished(waitMs))
        return "it still runs but does not answer";
    return (program.exitStatus() == QProcess::CrashExit ? "crashed with signal " : "exited with code ") +
           std::to_string(program.exitCode());
}

// The program's mapped X windows, as xdotool finds them: its docked icon, its open menu, its alerts.
inline QStringList programWindows() {
    QProcess xdotool;
    xdotool.start("xdotool", {"search", "--onlyvisible", "--classname", "^lumivra$"});
    xdotool.waitForFinished(10000);
    return QString(xdotool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace lumivra::test
