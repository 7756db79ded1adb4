// Cache file names from any metadata the service could send: whatever the id, digest, file name and
// content type, the name must stay directly inside the cache folder, free of separators and control
// characters.
#include "FuzzSupport.h"
#include "system/ClientPaths.h"
#include "system/WallpaperCache.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

using namespace lumivra;

namespace {

std::unique_ptr<QTemporaryDir> dataHome;
QString cacheFolder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz::startApplication(argc, argv);
    // The cache folder is created on every read; it must never be the real user's.
    dataHome = std::make_unique<QTemporaryDir>();
    if (!dataHome->isValid())
        fuzz::fail("temporary data folder", dataHome->errorString());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome->path()));
    cacheFolder = ClientPaths::wallpaperCache();
    if (!QFileInfo(cacheFolder).isDir())
        fuzz::fail("cache folder created", cacheFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider provider(data, size);
    WallpaperMetadataResponse metadata;
    metadata.id = provider.ConsumeIntegral<qint64>();
    metadata.sha256 = fuzz::consumeText(provider, 96);
    metadata.fileName = fuzz::consumeText(provider);
    metadata.contentType = fuzz::consumeText(provider, 64);

    const QString path = WallpaperCache::path(metadata);
    const QFileInfo file(path);
    const QString name = file.fileName();
    LUMIVRA_FUZZ_CHECK(file.absolutePath() == cacheFolder, path);
    LUMIVRA_FUZZ_CHECK(name != u"." && name != u".." && !name.isEmpty(), path);
    LUMIVRA_FUZZ_CHECK(QDir(cacheFolder).filePath(name) == path, path);
    LUMIVRA_FUZZ_CHECK(!name.contains(u'\\'), path);
    LUMIVRA_FUZZ_CHECK(
        std::none_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; }),
        path);
    LUMIVRA_FUZZ_CHECK(name.startsWith(QString::number(metadata.id) + u'-'), path);
    LUMIVRA_FUZZ_CHECK(WallpaperCache::path(metadata) == path, path);
    return 0;
}
