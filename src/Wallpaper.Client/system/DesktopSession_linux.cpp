#include "system/DesktopBackends.h"
#include "system/DesktopSession.h"

namespace lumivra {

namespace {

class UnsupportedBackend : public DesktopBackend {
public:
    explicit UnsupportedBackend(QString desktopName) : m_desktopName(std::move(desktopName)) {}

    void setPicture(const QString &, const ScreenInfo &) override {
        if (m_desktopName.isEmpty())
            throw DesktopError(QStringLiteral("无法识别当前的桌面环境，不支持在这里设置壁纸。"));
        throw DesktopError(QStringLiteral("不支持在当前桌面环境（%1）中设置壁纸。").arg(m_desktopName));
    }

private:
    QString m_desktopName;
};

} // namespace

std::unique_ptr<DesktopBackend> makeUnsupportedBackend(const QString &desktopName) {
    return std::make_unique<UnsupportedBackend>(desktopName);
}

std::unique_ptr<DesktopBackend> makeSessionBackend() {
    const DesktopSession session = detectDesktopSession(QProcessEnvironment::systemEnvironment());
    switch (session.kind) {
    case DesktopKind::gnome:
        return makeGSettingsBackend(GSettingsDesktop::gnome);
    case DesktopKind::cinnamon:
        return makeGSettingsBackend(GSettingsDesktop::cinnamon);
    case DesktopKind::mate:
        return makeGSettingsBackend(GSettingsDesktop::mate);
    case DesktopKind::plasma:
        return makePlasmaBackend();
    case DesktopKind::xfce:
        return makeXfceBackend();
    case DesktopKind::lxqt:
        return makeLxqtBackend();
    case DesktopKind::lxde:
        return makeLxdeBackend();
    case DesktopKind::sway:
        return makeSwayBackend();
    case DesktopKind::x11Root:
        return makeX11RootBackend();
    case DesktopKind::unsupported:
        break;
    }
    return makeUnsupportedBackend(session.name);
}

} // namespace lumivra
