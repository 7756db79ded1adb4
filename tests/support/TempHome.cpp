#include "TempHome.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace lumivra::test {

TempHome::TempHome() {
    QDir().mkpath(configHome());
    QDir().mkpath(dataHome());
    QDir().mkpath(cacheHome());
    set("HOME", QFile::encodeName(path()));
    set("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    set("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    set("XDG_CACHE_HOME", QFile::encodeName(cacheHome()));
    // Desktop programs the tests start keep their sockets here; the user's own must stay apart.
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    set("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
    // QSettings resolves the user folder once per process; point it here explicitly.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome());
}

TempHome::~TempHome() {
    for (const auto &[name, value] : m_saved) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
    const QString realConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, realConfig);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, realConfig);
}

void TempHome::set(const char *name, const QByteArray &value) {
    if (!m_saved.count(name))
        m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    qputenv(name, value);
}

} // namespace lumivra::test
