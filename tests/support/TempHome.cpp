#include "TempHome.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace lumivra::test {

TempHome::TempHome() {
    const QString runtime = path() + "/run";
    set("HOME", path());
    for (const auto &[name, folder] : {std::pair{"XDG_CONFIG_HOME", configHome()},
                                       {"XDG_DATA_HOME", dataHome()},
                                       {"XDG_CACHE_HOME", path() + "/.cache"},
                                       {"XDG_RUNTIME_DIR", runtime}})
        set(name, folder);
    // Desktop programs the tests start keep their sockets here; the user's own must stay apart.
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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

void TempHome::set(const char *name, const QString &folder) {
    QDir().mkpath(folder);
    if (!m_saved.count(name))
        m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    qputenv(name, QFile::encodeName(folder));
}

} // namespace lumivra::test
