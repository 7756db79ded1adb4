#include "system/DesktopBackends.h"
#include "system/DesktopPeer_linux.h"

#include <QFileInfo>
#include <QUrl>

namespace lumivra {

namespace {

// Words the script prints or throws, so the outcome is read from the script itself and not guessed from
// Plasma's wording.
const QString doneMarker = QStringLiteral("lumivra-wallpaper-set");
const QString noDesktopMarker = QStringLiteral("lumivra-no-desktop");
const QString notTakenMarker = QStringLiteral("lumivra-not-taken");

// A JavaScript string literal of pure ASCII: every other character, and every quote or backslash, is a
// \u escape, so no file name can end the literal early or smuggle code into the script.
QString jsString(const QString &text) {
    QString literal = QStringLiteral("\"");
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        const bool plain = unit >= 0x20 && unit < 0x7f && unit != u'"' && unit != u'\'' && unit != u'\\';
        literal += plain ? QString(c) : QStringLiteral("\\u%1").arg(unsigned(unit), 4, 16, QLatin1Char('0'));
    }
    return literal + QLatin1Char('"');
}

// Plasma numbers its screens in an order of its own, so the desktop is found by the screen's rectangle and
// only failing that by its position; all activities' desktops of that screen get the picture.
QString script(const QString &imageUrl, const ScreenInfo &screen) {
    const QRect g = screen.geometry;
    return QStringLiteral(R"((function () {
    var image = %1;
    var all = desktops();
    var found = all.filter(function (d) {
        var g = screenGeometry(d.screen);
        return g.x == %2 && g.y == %3 && g.width == %4 && g.height == %5;
    });
    if (found.length == 0)
        found = all.filter(function (d) { return d.screen == %6; });
    if (found.length == 0)
        throw new Error(%7);
    found.forEach(function (d) {
        d.wallpaperPlugin = "org.kde.image";
        d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
        d.writeConfig("Image", image);
        if (d.readConfig("Image") != image)
            throw new Error(%8);
    });
    print(%9);
})();
)")
        // One pass over the template: a "%2" inside the file's URL must stay text, not become a placeholder.
        .arg(jsString(imageUrl), QString::number(g.x()), QString::number(g.y()), QString::number(g.width()),
             QString::number(g.height()), QString::number(screen.index), jsString(noDesktopMarker),
             jsString(notTakenMarker), jsString(doneMarker));
}

class PlasmaBackend : public DesktopBackend {
public:
    PlasmaBackend(const QDBusConnection &bus, std::chrono::milliseconds timeout)
        : m_shell(bus, timeout, QStringLiteral("KDE Plasma"), QStringLiteral("org.kde.plasmashell"),
                  QStringLiteral("/PlasmaShell"), QStringLiteral("org.kde.PlasmaShell")) {}

    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        const QString url = QUrl::fromLocalFile(QFileInfo(imageFile).absoluteFilePath()).toString();
        const QDBusMessage reply = m_shell.tryCall(QStringLiteral("evaluateScript"), {script(url, screen)});
        if (reply.type() == QDBusMessage::ErrorMessage) {
            if (reply.errorMessage().contains(noDesktopMarker))
                throw DesktopError(
                    QStringLiteral("KDE Plasma 中没有与屏幕 %1（%2×%3，位置 %4,%5）对应的桌面，"
                                   "壁纸没有设置。")
                        .arg(screen.name, QString::number(screen.geometry.width()),
                             QString::number(screen.geometry.height()), QString::number(screen.geometry.x()),
                             QString::number(screen.geometry.y())));
            if (reply.errorMessage().contains(notTakenMarker))
                throw DesktopError(
                    QStringLiteral("KDE Plasma 没有保存屏幕 %1 的壁纸设置。").arg(screen.name));
            m_shell.fail(reply);
        }
        const QVariantList output = reply.arguments();
        if (output.isEmpty() || !output.first().toString().contains(doneMarker))
            throw DesktopError(
                QStringLiteral("KDE Plasma 没有确认屏幕 %1 的壁纸已设置：%2")
                    .arg(screen.name, output.isEmpty() ? QString() : output.first().toString()));
    }

private:
    DesktopPeer m_shell;
};

} // namespace

std::unique_ptr<DesktopBackend> makePlasmaBackend(const QDBusConnection &bus,
                                                  std::chrono::milliseconds timeout) {
    return std::make_unique<PlasmaBackend>(bus, timeout);
}

std::unique_ptr<DesktopBackend> makePlasmaBackend() {
    return makePlasmaBackend(QDBusConnection::sessionBus(), desktopCallTimeout);
}

} // namespace lumivra
