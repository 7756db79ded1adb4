#include "system/PathExtension.h"

namespace lumivra {

QString pathExtension(const QString &path) {
    QStringView rest(path);
    while (rest.size() > 1 && rest.endsWith(u'/'))
        rest.chop(1);
    const QStringView component = rest.sliced(rest.lastIndexOf(u'/') + 1);
    const qsizetype dot = component.lastIndexOf(u'.');
    if (dot <= 0 || dot == component.size() - 1)
        return {};
    return component.sliced(dot + 1).toString();
}

} // namespace lumivra
