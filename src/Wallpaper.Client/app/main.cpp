#include "app/AppDelegate.h"
#include "app/SingleInstanceLock.h"
#include "client/ServerAddressStore.h"
#include "client/Translations.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    // The program has no window: closing an alert must not end it, only the menu's quit command does.
    QApplication::setQuitOnLastWindowClosed(false);
    lumivra::ServerAddressStore::applyApplicationIdentity();

    lumivra::SingleInstanceLock instanceLock;
    if (!instanceLock.tryAcquire())
        return 0;

    lumivra::installQtTranslations();

    lumivra::AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &lumivra::AppDelegate::applicationDidFinishLaunching);
    QApplication::exec();
    return 0;
}
