// The configured server address, from any text a person could type or a settings file could hold: only
// white space around it and slashes at its end are dropped, a blank text gives the default, and a retired
// endpoint in any letter case moves to the default.
#include "FuzzSupport.h"
#include "client/ClientOptions.h"

using namespace lumivra::ClientOptions;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider provider(data, size);
    const QString typed = lumivra::fuzz::consumeText(provider);
    const QString text = typed.trimmed();
    const QString fallback = QString::fromUtf16(defaultServerBaseURL);
    const QString normalized = normalizeServerBaseURL(typed);
    LUMIVRA_FUZZ_CHECK(text.isEmpty() ? normalized == fallback
                                      : text == normalized + QString(text.size() - normalized.size(), u'/') &&
                                            !normalized.endsWith(u'/'),
                       typed);
    const bool retired = normalized.compare(u"http://203.0.113.10", Qt::CaseInsensitive) == 0 ||
                         normalized.compare(u"http://198.51.100.24", Qt::CaseInsensitive) == 0;
    LUMIVRA_FUZZ_CHECK(replacingRetiredServerBaseURL(typed) == (retired ? fallback : normalized), typed);
    return 0;
}
