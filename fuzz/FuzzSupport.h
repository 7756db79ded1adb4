#pragma once

#include <QString>
#include <fuzzer/FuzzedDataProvider.h>

// Text from the network or a settings file may be any UTF-8, valid or not, and UTF-16 read back from
// elsewhere may hold lone surrogates; the last byte of the input picks which of the two the text is.
inline QString consumeText(FuzzedDataProvider &data, size_t maxBytes = 256) {
    const bool utf16 = data.ConsumeBool();
    const QByteArray bytes = QByteArray::fromStdString(data.ConsumeRandomLengthString(maxBytes));
    return utf16 ? QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.data()), bytes.size() / 2)
                 : QString::fromUtf8(bytes);
}

// A broken property is a finding like a crash: qFatal aborts, and libFuzzer keeps the input that caused it.
#define LUMIVRA_FUZZ_CHECK(property, detail)                                                                 \
    ((property) ? void() : qFatal("property violated: %s\n  %s", #property, qPrintable(detail)))
