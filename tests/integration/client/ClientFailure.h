#pragma once

#include "client/Errors.h"

#include <QString>
#include <functional>

namespace lumivra::test {

// What an attempt ended in, as "kind: description", so that one comparison checks both.
inline QString failureOf(const std::function<void()> &attempt) {
    try {
        attempt();
    } catch (const TransportError &error) {
        return QStringLiteral("transport: ") + error.localizedDescription();
    } catch (const DecodingError &error) {
        return QStringLiteral("decoding: ") + error.localizedDescription();
    } catch (const FileError &error) {
        return QStringLiteral("file: ") + error.localizedDescription();
    } catch (const WallpaperClientError &error) {
        return QStringLiteral("service: ") + error.localizedDescription();
    }
    return QStringLiteral("<no error>");
}

} // namespace lumivra::test
