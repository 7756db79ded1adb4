#pragma once

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace lumivra::fuzz {

// A broken property is a finding like a crash: libFuzzer keeps the input that caused the abort.
[[noreturn]] inline void fail(const char *property, const QString &detail) {
    std::fprintf(stderr, "property violated: %s\n  %s\n", property, qPrintable(detail));
    std::abort();
}

// Text from the network or a settings file may be any UTF-8, valid or not, and UTF-16 read back from
// elsewhere may hold lone surrogates; the last byte of the input picks which of the two the text is.
inline QString consumeText(FuzzedDataProvider &data, size_t maxBytes = 256) {
    const bool utf16 = data.ConsumeBool();
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    std::u16string units(bytes.size() / 2, u'\0');
    std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
    return utf16 ? QString::fromStdU16String(units) : QString::fromStdString(bytes);
}

} // namespace lumivra::fuzz

#define LUMIVRA_FUZZ_CHECK(property, detail) ((property) ? void() : ::lumivra::fuzz::fail(#property, detail))
