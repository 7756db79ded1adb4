#pragma once

#include <QString>
#include <optional>

namespace lumivra::ClientOptions {

inline constexpr char16_t defaultServerBaseURL[] = u"https://wallpaper.lumivra.site";

// Trimmed of surrounding white space, the default when blank, then stripped of trailing slashes.
QString normalizeServerBaseURL(const std::optional<QString> &text);

// Normalises, then moves an address of a retired service endpoint to the default one.
QString replacingRetiredServerBaseURL(const QString &text);

} // namespace lumivra::ClientOptions
