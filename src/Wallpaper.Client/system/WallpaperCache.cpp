#include "system/WallpaperCache.h"

#include "system/ClientPaths.h"
#include "system/PathExtension.h"

#include <QTextBoundaryFinder>

namespace lumivra {

namespace WallpaperCache {
namespace {
// Picture types have extensions of a few letters. A longer one names none, and would take the file name
// past what file systems allow (255 bytes), so that no download could ever be put in place.
constexpr qsizetype maxExtensionBytes = 16;

QString fallbackExtension(const QString &contentType) {
    const QString type = contentType.toLower();
    if (type == u"image/png")
        return QStringLiteral("png");
    if (type == u"image/bmp")
        return QStringLiteral("bmp");
    if (type == u"image/webp")
        return QStringLiteral("webp");
    return QStringLiteral("jpg");
}

// Counted in user-perceived characters, so neither a surrogate pair nor a combining sequence is cut.
QString leadingCharacters(const QString &text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (count-- > 0 && finder.toNextBoundary() != -1) {
    }
    qsizetype end = finder.position() == -1 ? text.size() : finder.position();
    // Qt 6.4's finder puts a boundary inside a surrogate pair that follows some Indic letters.
    if (end > 0 && end < text.size() && text[end - 1].isHighSurrogate() && text[end].isLowSurrogate())
        ++end;
    return text.first(end);
}

// The metadata comes from the network: a separator or control character in it must not let the name
// leave the cache folder or be cut short by the file system. Everything else is kept as sent.
QString withinOneComponent(QString text) {
    for (QChar &c : text) {
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            c = u'_';
    }
    return text;
}
} // namespace

QString path(const WallpaperMetadataResponse &metadata) {
    QString extension = pathExtension(metadata.fileName).toLower();
    if (extension.isEmpty() || extension.toUtf8().size() > maxExtensionBytes)
        extension = fallbackExtension(metadata.contentType);
    // The name always starts with the id's digits, so it can never be "." or ".." however odd the rest.
    const QString name = QString::number(metadata.id) + u'-' +
                         withinOneComponent(leadingCharacters(metadata.sha256, 12)) + u'.' +
                         withinOneComponent(extension);
    return ClientPaths::wallpaperCache() + u'/' + name;
}
} // namespace WallpaperCache

} // namespace lumivra
