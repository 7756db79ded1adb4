#include "system/DesktopBackends.h"

#import <AppKit/AppKit.h>
#include <optional>

namespace lumivra {

namespace {

class WorkspaceBackend : public DesktopBackend {
public:
    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        std::optional<QString> failure;
        @autoreleasepool {
            NSScreen *target = screenFor(screen);
            if (!target) {
                failure = QStringLiteral("找不到屏幕“%1”，无法设置壁纸。").arg(screen.name);
            } else {
                NSURL *url = [NSURL fileURLWithPath:imageFile.toNSString()];
                NSError *error = nil;
                // No options: the picture is fitted the way the user chose in System Settings.
                if (![[NSWorkspace sharedWorkspace] setDesktopImageURL:url
                                                             forScreen:target
                                                               options:@{}
                                                                 error:&error])
                    failure = error ? QString::fromNSString(error.localizedDescription)
                                    : QStringLiteral("系统拒绝了新的桌面图片。");
            }
        }
        // Thrown outside the pool, which an exception would leave undrained.
        if (failure)
            throw DesktopError(*failure);
    }

private:
    // Qt lists the screens in AppKit's order and names them by their localized name. The name confirms the
    // position, since the list can change between Qt's look and this one.
    static NSScreen *screenFor(const ScreenInfo &screen) {
        NSArray<NSScreen *> *screens = [NSScreen screens];
        const NSUInteger index = static_cast<NSUInteger>(screen.index);
        const bool indexValid = screen.index >= 0 && index < screens.count;
        if (indexValid && QString::fromNSString(screens[index].localizedName) == screen.name)
            return screens[index];
        for (NSScreen *candidate in screens) {
            if (QString::fromNSString(candidate.localizedName) == screen.name)
                return candidate;
        }
        return indexValid ? screens[index] : nil;
    }
};

} // namespace

std::unique_ptr<DesktopBackend> makeWorkspaceBackend() {
    return std::make_unique<WorkspaceBackend>();
}

std::unique_ptr<DesktopBackend> makeSessionBackend() {
    return makeWorkspaceBackend();
}

} // namespace lumivra
