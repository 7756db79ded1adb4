#include "app/ClientKind.h"

namespace lumivra {

QString clientKind() {
    return QStringLiteral("macOS 客户端");
}

} // namespace lumivra
