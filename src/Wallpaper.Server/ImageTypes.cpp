#include "ImageTypes.h"

#include <QFileInfo>

namespace lumivra::server {

QByteArray imageContentType(const QString &fileName) {
    const QString extension = QFileInfo(fileName).suffix().toLower();
    if (extension == u"png")
        return "image/png";
    if (extension == u"jpg" || extension == u"jpeg")
        return "image/jpeg";
    if (extension == u"webp")
        return "image/webp";
    if (extension == u"bmp")
        return "image/bmp";
    if (extension == u"gif")
        return "image/gif";
    return {};
}

} // namespace lumivra::server
