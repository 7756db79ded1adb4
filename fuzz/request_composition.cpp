// Client construction from any server address and request composition from any path, as a download link
// from the service may be anything. Construction may refuse the address with invalidServerURL; composing
// a request never fails.
#include "FuzzSupport.h"
#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <QRegularExpression>
#include <optional>

using namespace lumivra;

namespace {

// Paths made only of plain segments need no resolution rules beyond appending: they must land directly
// below the base's own path, on the base's host.
bool isPlainPath(const QString &path) {
    static const QRegularExpression plain(QStringLiteral("^([A-Za-z0-9_~-]+/)*[A-Za-z0-9_~-]*$"));
    return plain.match(path).hasMatch();
}

bool hasDotSegment(const QString &path) {
    for (const QString &segment : path.split(u'/')) {
        if (segment == u"." || segment == u"..")
            return true;
    }
    return false;
}

QString withoutLeadingSlashes(const QString &path) {
    qsizetype skip = 0;
    while (skip < path.size() && path.at(skip) == u'/')
        ++skip;
    return path.mid(skip);
}

void checkRequest(const WallpaperAPIClient &client, const QString &path) {
    const QNetworkRequest request = client.makeRequest(path, "GET");
    LUMIVRA_FUZZ_CHECK(request.attribute(QNetworkRequest::CustomVerbAttribute).toString() == u"GET", path);
    LUMIVRA_FUZZ_CHECK(request.transferTimeout() == 30000, path);

    const QUrl &base = client.baseURL();
    const QString relative = withoutLeadingSlashes(path);
    if (!isPlainPath(relative) || base.scheme().isEmpty() || base.hasQuery() || base.hasFragment() ||
        !base.path().endsWith(u'/') || hasDotSegment(base.path()))
        return;
    const QUrl url = request.url();
    const QString detail =
        base.toString() + QStringLiteral(" + ") + path + QStringLiteral(" -> ") + url.toString();
    LUMIVRA_FUZZ_CHECK(url.scheme() == base.scheme() && url.authority() == base.authority(), detail);
    LUMIVRA_FUZZ_CHECK(url.path() == base.path() + relative, detail);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider provider(data, size);
    const QString address = fuzz::consumeText(provider);
    const QString path = fuzz::consumeText(provider, 1024);

    std::optional<WallpaperAPIClient> client;
    try {
        client.emplace(address);
    } catch (const WallpaperClientError &error) {
        LUMIVRA_FUZZ_CHECK(error.kind() == WallpaperClientError::Kind::invalidServerURL, address);
        return 0;
    }
    // The one "/" appended to the address is what puts relative paths below the base's own path.
    LUMIVRA_FUZZ_CHECK(client->baseURL().isValid() && client->baseURL().toString().endsWith(u'/'),
                       client->baseURL().toString());
    checkRequest(*client, path);
    return 0;
}
