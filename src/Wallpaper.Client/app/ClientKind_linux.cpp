#include "app/ClientKind.h"

namespace lumivra {

QString clientKind() {
    return QStringLiteral("Linux 客户端");
}

} // namespace lumivra
