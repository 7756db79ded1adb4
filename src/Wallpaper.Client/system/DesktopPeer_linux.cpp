#include "system/DesktopPeer_linux.h"

#include <QDBusError>

namespace lumivra {

DesktopPeer::DesktopPeer(QDBusConnection bus, std::chrono::milliseconds timeout, QString desktopName,
                         QString service, QString path, QString interface)
    : m_bus(std::move(bus)), m_timeout(timeout), m_desktopName(std::move(desktopName)),
      m_service(std::move(service)), m_path(std::move(path)), m_interface(std::move(interface)) {}

QDBusMessage DesktopPeer::tryCall(const QString &method, const QVariantList &arguments) const {
    QDBusMessage message = QDBusMessage::createMethodCall(m_service, m_path, m_interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, static_cast<int>(m_timeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        switch (QDBusError(reply).type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
        case QDBusError::Disconnected:
        case QDBusError::UnknownObject:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownMethod:
            fail(reply);
        default:
            break;
        }
    }
    return reply;
}

QVariantList DesktopPeer::call(const QString &method, const QVariantList &arguments) const {
    const QDBusMessage reply = tryCall(method, arguments);
    if (reply.type() != QDBusMessage::ReplyMessage)
        fail(reply);
    return reply.arguments();
}

void DesktopPeer::fail(const QDBusMessage &error) const {
    const QString text = error.errorMessage().isEmpty() ? error.errorName() : error.errorMessage();
    switch (QDBusError(error).type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
        throw DesktopError(
            QStringLiteral("无法连接 %1 桌面（%2），壁纸没有设置：%3").arg(m_desktopName, m_service, text));
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        throw DesktopError(QStringLiteral("%1 桌面没有及时回应，壁纸没有设置：%2").arg(m_desktopName, text));
    default:
        throw DesktopError(QStringLiteral("%1 桌面拒绝设置壁纸：%2").arg(m_desktopName, text));
    }
}

} // namespace lumivra
