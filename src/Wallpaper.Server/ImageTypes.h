#pragma once

#include <QByteArray>
#include <QString>

namespace lumivra::server {

// Media type of a picture the service hands out, chosen by its extension (any letter case); empty for
// files that are not pictures of a kind desktops can show, which the service then ignores.
QByteArray imageContentType(const QString &fileName);

} // namespace lumivra::server
