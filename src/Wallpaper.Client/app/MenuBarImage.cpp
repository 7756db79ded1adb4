#include "app/MenuBarImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace lumivra {

QIcon makeMenuBarImage() {
    for (QImage (*load)() : {loadNamedAppIcon, loadBundledAppIcon, loadSourceTreeAppIcon}) {
        const QImage image = load();
        if (!image.isNull())
            return QIcon(QPixmap::fromImage(image));
    }
    return drawMenuBarGlyph();
}

QImage loadNamedAppIcon() {
    return QImage(QStringLiteral(":/AppIcon.png"));
}

QImage loadBundledAppIcon() {
    return QImage(QCoreApplication::applicationDirPath() + QStringLiteral("/" LUMIVRA_BUNDLED_APP_ICON));
}

QImage loadSourceTreeAppIcon() {
    static const char *const candidates[] = {
        "src/Wallpaper.Client/Assets/AppIcon.png",
        "../Wallpaper.Client/Assets/AppIcon.png",
        "../../Wallpaper.Client/Assets/AppIcon.png",
    };
    for (const char *candidate : candidates) {
        // The working directory is read anew for every path, and ".." is resolved by name the way a
        // relative URL would be, not by following links.
        QImage image(QDir::cleanPath(QDir::currentPath() + u'/' + QLatin1String(candidate)));
        if (!image.isNull())
            return image;
    }
    return {};
}

QIcon drawMenuBarGlyph() {
    QImage image(menuBarImageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font = QGuiApplication::font();
        font.setBold(true);
        font.setPixelSize(14);
        painter.setFont(font);
        painter.setPen(QGuiApplication::palette().color(QPalette::WindowText));
        painter.drawText(QRect(2, 1, 16, 16), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("L"));
    }
    QIcon icon(QPixmap::fromImage(image));
    icon.setIsMask(true);
    return icon;
}

} // namespace lumivra
