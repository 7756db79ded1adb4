// Cache file names from any metadata the service could send: whatever the id, digest, file name and
// content type, the name starts with the id and stays directly inside the cache folder, free of
// backslashes and control characters, with an extension short enough for any file system's names. Given
// whole characters, the letter case of the file name and the content type never changes it, and the digest
// is never cut inside a character.
#include "FuzzSupport.h"
#include "system/ClientPaths.h"
#include "system/WallpaperCache.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>

using namespace lumivra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Reading the cache folder creates it: it must never be the real user's.
    static const QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    FuzzedDataProvider provider(data, size);
    WallpaperMetadataResponse metadata;
    metadata.id = provider.ConsumeIntegral<qint64>();
    metadata.sha256 = consumeText(provider, 96);
    metadata.fileName = consumeText(provider);
    metadata.contentType = consumeText(provider, 64);
    const QString path = WallpaperCache::path(metadata);
    const QString name = QFileInfo(path).fileName();
    const auto unsafe = [](QChar c) { return c == u'\\' || c.category() == QChar::Other_Control; };
    // Lone surrogates have no letter case, and Qt's case mapping may replace them. The fields are joined by a
    // separator, so that no pair forms across two of them.
    const bool whole =
        QStringView(QStringList{metadata.sha256, metadata.fileName, metadata.contentType}.join(u'/'))
            .isValidUtf16();
    const WallpaperMetadataResponse folded{
        metadata.id, {}, metadata.fileName.toLower(), metadata.contentType.toLower(), 0, metadata.sha256, {}};
    LUMIVRA_FUZZ_CHECK(
        QDir(ClientPaths::wallpaperCache()).filePath(name) == path &&
            name.startsWith(QString::number(metadata.id) + u'-') &&
            std::none_of(name.begin(), name.end(), unsafe) &&
            QFileInfo(name).suffix().toUtf8().size() <= 16 &&
            (!whole || (WallpaperCache::path(folded) == path && QStringView(name).isValidUtf16())),
        path);
    return 0;
}
