#pragma once

#include <QProcess>
#include <QStringList>

namespace lumivra::test {

// The program's mapped X windows, as xdotool finds them: its docked icon, its open menu, its alerts.
inline QStringList programWindows() {
    QProcess xdotool;
    xdotool.start("xdotool", {"search", "--onlyvisible", "--classname", "^lumivra$"});
    xdotool.waitForFinished(10000);
    return QString(xdotool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace lumivra::test
