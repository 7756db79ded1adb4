#pragma once

#include <QString>

namespace lumivra {

// Which client this is, as the about box names it.
QString clientKind();

} // namespace lumivra
