#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QThread>
#include <memory>

namespace lumivra::test {

// One Plasma desktop containment as a script sees it, and what a script left in it.
struct FakeDesktop {
    int screen = 0;
    QRect geometry;
    QString wallpaperPlugin = QStringLiteral("org.kde.color");
    // "group/group/key" -> value, as written by writeConfig under currentConfigGroup
    QMap<QString, QString> config;
};

// org.kde.PlasmaShell on a bus, in a thread of its own so a test can call it synchronously. Scripts run in
// a real JavaScript engine against a small model of Plasma's desktop scripting API (desktops(),
// screenGeometry(), print(), a containment's wallpaperPlugin, currentConfigGroup, writeConfig, readConfig),
// and fail the way plasmashell fails: a thrown error or locked widgets become a D-Bus error.
class FakePlasmaShell {
public:
    FakePlasmaShell(const QString &busAddress, QList<FakeDesktop> desktops);
    ~FakePlasmaShell();

    // As plasmashell does when the desktop's widgets are locked.
    void lockWidgets();
    // A desktop that keeps its old settings whatever a script writes.
    void ignoreWrites();
    // A shell that takes calls and never answers them.
    void hang();

    QList<FakeDesktop> desktops() const;
    int scriptsRun() const;

    struct State {
        mutable QMutex mutex;
        QList<FakeDesktop> desktops;
        bool locked = false;
        bool ignoreWrites = false;
        bool hung = false;
        int scriptsRun = 0;
    };

private:
    State m_state;
    QThread m_thread;
    QString m_connectionName;
};

} // namespace lumivra::test
