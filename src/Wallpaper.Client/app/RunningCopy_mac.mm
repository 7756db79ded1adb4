#include "app/AppDelegate.h"
#include "app/RunningCopy.h"

#import <AppKit/AppKit.h>
#include <QPointer>
#include <cstdio>

namespace {
QPointer<lumivra::AppDelegate> reopenTarget;
} // namespace

// Finder, the Dock, Launchpad and `open` turn a second start of a running application into a reopen
// event for it rather than a second process.
@interface LumivraReopenHandler : NSObject <NSApplicationDelegate>
@end

@implementation LumivraReopenHandler
- (BOOL)applicationShouldHandleReopen:(NSApplication *)sender hasVisibleWindows:(BOOL)flag {
    (void)sender;
    (void)flag;
    if (reopenTarget)
        reopenTarget->refreshMenuItemClicked();
    // Handled here: AppKit has no window to bring up.
    return NO;
}
@end

namespace lumivra {

void prepareRunningCopy() {
    // Qt keeps an application delegate set before its application object exists and passes AppKit's
    // calls on to it; one set afterwards would replace Qt's own.
    static LumivraReopenHandler *const handler = [[LumivraReopenHandler alloc] init];
    [NSApplication sharedApplication].delegate = handler;
}

std::unique_ptr<QObject> serveOtherStarts(AppDelegate &delegate) {
    reopenTarget = &delegate;
    return std::make_unique<QObject>();
}

std::optional<int> askRunningCopy(const Command &command, SingleInstanceLock &) {
    // A second process of the program itself, as a login item or a terminal starts it; opening the
    // application reaches the running copy through the reopen event instead.
    if (command.kind == Command::Kind::start)
        return 0;
    std::fputs("lumivra: 在 macOS 上，命令行联系不到正在运行的 Lumivra，请使用菜单栏里的菜单。\n", stderr);
    return failedExitStatus;
}

} // namespace lumivra
