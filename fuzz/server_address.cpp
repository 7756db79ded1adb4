// The configured server address, from any text a person could type or a settings file could hold: only
// white space around it and slashes at its end are dropped, a blank text gives the default, and a retired
// endpoint in any letter case moves to the default. A client built on the text as it stands either refuses
// it as invalid or gets a base ending in "/"; a request path of plain segments, as a download link from the
// service may be, lands right below the base's own path, leading slashes dropped (when that path has no dot
// segments to resolve), on the base's host, for the web addresses that are ever asked.
#include "FuzzSupport.h"
#include "client/ClientOptions.h"
#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <QRegularExpression>

using namespace lumivra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const QRegularExpression plain(QStringLiteral("^/*([A-Za-z0-9_~-]+(/[A-Za-z0-9_~-]+)*)\\z"));
    FuzzedDataProvider provider(data, size);
    const QString typed = consumeText(provider);
    const QString path = consumeText(provider, 1024);
    const QString text = typed.trimmed();
    const QString fallback = QString::fromUtf16(ClientOptions::defaultServerBaseURL);
    const QString normalized = ClientOptions::normalizeServerBaseURL(typed);
    LUMIVRA_FUZZ_CHECK(text.isEmpty() ? normalized == fallback
                                      : text == normalized + QString(text.size() - normalized.size(), u'/') &&
                                            !normalized.endsWith(u'/'),
                       typed);
    const bool retired = normalized.compare(u"http://203.0.113.10", Qt::CaseInsensitive) == 0 ||
                         normalized.compare(u"http://198.51.100.24", Qt::CaseInsensitive) == 0;
    LUMIVRA_FUZZ_CHECK(
        ClientOptions::replacingRetiredServerBaseURL(typed) == (retired ? fallback : normalized), typed);
    try {
        const WallpaperAPIClient client(typed);
        const QUrl &base = client.baseURL();
        const QUrl url = client.makeRequest(path, "GET").url();
        LUMIVRA_FUZZ_CHECK(base.isValid() && base.toString().endsWith(u'/'), typed);
        const QRegularExpressionMatch segments = plain.match(path);
        const bool web = base.scheme() == u"http" || base.scheme() == u"https";
        if (web && segments.hasMatch() && base.path().endsWith(u'/') && !base.path().contains(u'.'))
            LUMIVRA_FUZZ_CHECK(url.scheme() == base.scheme() && url.authority() == base.authority() &&
                                   url.path() == base.path() + segments.captured(1),
                               url.toString());
    } catch (const WallpaperClientError &error) {
        LUMIVRA_FUZZ_CHECK(error.kind() == WallpaperClientError::Kind::invalidServerURL, typed);
    }
    return 0;
}
