#include "app/ActivationPolicy.h"

#import <AppKit/AppKit.h>

namespace lumivra {

void becomeAccessoryApplication() {
    [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory];
}

} // namespace lumivra
