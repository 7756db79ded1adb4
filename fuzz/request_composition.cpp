// Client construction from any server address and requests from any path, as a download link from the
// service may be anything. An address is either refused as invalid or gives a base ending in "/"; a path of
// plain segments, leading slashes dropped, lands right below the base's own path (when it has no dot
// segments to resolve), on the base's host.
#include "FuzzSupport.h"
#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <QRegularExpression>

using namespace lumivra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const QRegularExpression plain(QStringLiteral("^/*([A-Za-z0-9_~-]+(/[A-Za-z0-9_~-]+)*)$"));
    FuzzedDataProvider provider(data, size);
    const QString address = fuzz::consumeText(provider);
    const QString path = fuzz::consumeText(provider, 1024);
    try {
        const WallpaperAPIClient client(address);
        const QUrl &base = client.baseURL();
        const QUrl url = client.makeRequest(path, "GET").url();
        LUMIVRA_FUZZ_CHECK(base.isValid() && base.toString().endsWith(u'/'), address);
        const QRegularExpressionMatch segments = plain.match(path);
        if (segments.hasMatch() && base.path().endsWith(u'/') && !base.path().contains(u'.'))
            LUMIVRA_FUZZ_CHECK(url.scheme() == base.scheme() && url.authority() == base.authority() &&
                                   url.path() == base.path() + segments.captured(1),
                               url.toString());
    } catch (const WallpaperClientError &error) {
        LUMIVRA_FUZZ_CHECK(error.kind() == WallpaperClientError::Kind::invalidServerURL, address);
    }
    return 0;
}
