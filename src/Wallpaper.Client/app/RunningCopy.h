#pragma once

#include "app/CommandLine.h"

#include <QObject>
#include <memory>
#include <optional>

namespace lumivra {

class AppDelegate;
class SingleInstanceLock;

// The running copy's door, through which other starts of the program and the desktop reach it. On Linux
// it is the session bus name site.lumivra.wallpaper with org.freedesktop.Application (Activate refreshes
// as the menu's 刷新壁纸 does; actions "refresh", "quit" and "launch-at-login" with a boolean) and
// site.lumivra.wallpaper.Status at /site/lumivra/wallpaper. On macOS it is AppKit's reopen event.

// Before the application object exists, for what the platform takes over only then.
void prepareRunningCopy();

// Opens the door once the delegate exists and the program holds the single-instance lock. Null when
// another copy already answers at the door: that copy is then the running one.
std::unique_ptr<QObject> serveOtherStarts(AppDelegate &delegate);

// From a start that found the lock taken: hands the command to the running copy and returns the exit
// status. Nothing when the copy went away meanwhile (the lock is free): this start may run instead.
std::optional<int> askRunningCopy(const Command &command, SingleInstanceLock &lock);

} // namespace lumivra
