#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace lumivra::fuzz {

// Standard paths and the network stack want an application object. It lives for the whole run and stays
// reachable through the static, so the leak checker does not count it.
inline void startApplication(int *argc, char ***argv) {
    static QCoreApplication *application = new QCoreApplication(*argc, *argv);
    (void)application;
}

// A broken property is a finding like a crash: libFuzzer keeps the input that caused the abort.
[[noreturn]] inline void fail(const char *what, const QString &detail) {
    std::fprintf(stderr, "property violated: %s\n  %s\n", what, detail.toUtf8().constData());
    std::abort();
}

#define LUMIVRA_FUZZ_CHECK(condition, detail)                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::lumivra::fuzz::fail(#condition, (detail));                                                     \
    } while (false)

// Text from the network or a settings file may be any UTF-8, valid or not, and UTF-16 read back from
// elsewhere may hold lone surrogates; a leading byte picks which of the two the rest of the string is.
inline QString consumeText(FuzzedDataProvider &data, size_t maxBytes = 256) {
    const bool utf16 = data.ConsumeBool();
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    if (utf16) {
        std::u16string units(bytes.size() / 2, u'\0');
        std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
        return QString::fromStdU16String(units);
    }
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace lumivra::fuzz
