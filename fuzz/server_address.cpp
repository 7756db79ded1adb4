// The configured server address: normalisation and the move away from retired endpoints, over any text a
// person could type or a settings file could hold.
#include "FuzzSupport.h"
#include "client/ClientOptions.h"

#include <array>

using namespace lumivra;
using namespace lumivra::ClientOptions;

namespace {

const QString defaultAddress = QString::fromUtf16(defaultServerBaseURL);
const std::array<QString, 2> retiredAddresses = {QStringLiteral("http://203.0.113.10"),
                                                 QStringLiteral("http://198.51.100.24")};

bool isRetired(const QString &address) {
    for (const QString &retired : retiredAddresses) {
        if (address.compare(retired, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// A normalised address is stable under normalising again, except where one pass cannot get there:
// only slashes give the empty text (blank on the next pass), and white space in front of removed slashes
// is trimmed on the next pass.
bool settled(const QString &normalized) {
    return !normalized.isEmpty() && normalized == normalized.trimmed();
}

void checkAddress(const QString &text) {
    const QString normalized = normalizeServerBaseURL(text);
    LUMIVRA_FUZZ_CHECK(!normalized.endsWith(u'/'), normalized);
    LUMIVRA_FUZZ_CHECK(normalized.isEmpty() || !normalized.front().isSpace(), normalized);
    LUMIVRA_FUZZ_CHECK(text.trimmed().isEmpty() ? normalized == defaultAddress : text.contains(normalized),
                       text);
    if (settled(normalized))
        LUMIVRA_FUZZ_CHECK(normalizeServerBaseURL(normalized) == normalized, normalized);

    const QString replaced = replacingRetiredServerBaseURL(text);
    LUMIVRA_FUZZ_CHECK(!replaced.endsWith(u'/'), replaced);
    LUMIVRA_FUZZ_CHECK(!isRetired(replaced), replaced);
    LUMIVRA_FUZZ_CHECK(replaced == (isRetired(normalized) ? defaultAddress : normalized), text);
    if (settled(replaced))
        LUMIVRA_FUZZ_CHECK(replacingRetiredServerBaseURL(replaced) == replaced, replaced);
}

// A retired endpoint however it was saved: any letter case, white space around it, slashes after it.
QString disguisedRetiredAddress(FuzzedDataProvider &data) {
    static const std::array<QChar, 6> spaces = {u' ', u'\t', u'\n', QChar(0x85), QChar(0xa0), QChar(0x3000)};
    QString address = retiredAddresses[data.ConsumeIntegralInRange<size_t>(0, 1)];
    for (QChar &c : address) {
        if (data.ConsumeBool())
            c = c.toUpper();
    }
    const QString before(data.ConsumeIntegralInRange(0, 3),
                         spaces[data.ConsumeIntegralInRange<size_t>(0, 5)]);
    const QString slashes(data.ConsumeIntegralInRange(0, 3), u'/');
    const QString after(data.ConsumeIntegralInRange(0, 3), spaces[data.ConsumeIntegralInRange<size_t>(0, 5)]);
    return before + address + slashes + after;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    checkAddress(QString::fromUtf8(bytes, static_cast<qsizetype>(size)));
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    checkAddress(QString::fromStdU16String(units));

    FuzzedDataProvider provider(data, size);
    const QString retired = disguisedRetiredAddress(provider);
    LUMIVRA_FUZZ_CHECK(replacingRetiredServerBaseURL(retired) == defaultAddress, retired);
    return 0;
}
