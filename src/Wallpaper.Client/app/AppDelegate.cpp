#include "app/AppDelegate.h"

#include "app/ActivationPolicy.h"
#include "app/MenuBarImage.h"

#include <QCoreApplication>
#include <QPointer>

namespace lumivra {

AppDelegate::AppDelegate(AppDelegateSeams seams) : m_seams(std::move(seams)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    becomeAccessoryApplication();
    configureStatusItem();
    startTimer();
    refreshWallpaper(false);
}

void AppDelegate::configureStatusItem() {
    m_statusItem = m_seams.makeStatusItem();
    m_statusItem->setImage(makeMenuBarImage());
    rebuildMenu();
    setToolTip(QStringLiteral("待命"));
}

void AppDelegate::setToolTip(const QString &state) {
    if (m_statusItem)
        m_statusItem->setToolTip(QStringLiteral("Lumivra · ") + state);
}

void AppDelegate::startTimer() {
    m_timer.reset();
    m_timer = std::make_unique<SuspendAwareTimer>(m_seams.refreshInterval);
    connect(m_timer.get(), &SuspendAwareTimer::timeout, this, [weak = QPointer<AppDelegate>(this)] {
        // The refresh starts in a later turn of the loop, never inside the timer's own callback.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak] {
                if (weak)
                    weak->refreshWallpaper(false);
            },
            Qt::QueuedConnection);
    });
}

void AppDelegate::quit() {
    // Nothing is saved and a refresh in flight is not waited for: the event loop ends and so does the
    // process.
    QCoreApplication::quit();
}

} // namespace lumivra
